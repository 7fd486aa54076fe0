// The protocol every stored record implements: its JSON project form and its
// binary content form, each read and written field for field in the same order.
#pragma once

#include <nlohmann/json.hpp>

#include "serialization/content_reader.h"
#include "serialization/content_writer.h"

class ISerializable {
public:
    virtual ~ISerializable() = default;

    // With external_files set, payloads (sources, images, fonts, sounds, models)
    // are written to files named by the record and left out of the JSON.
    virtual nlohmann::json to_json(bool external_files) const = 0;
    virtual void write(ContentWriter& out) const = 0;
    // Payloads absent from the JSON are read from the files the record names.
    virtual void from_json(const nlohmann::json& json) = 0;
    virtual void read(ContentReader& in) = 0;
};
