// Hostile input that once got through: names in a project that point at
// devices, pipes and endless pseudo-files, and content streams whose few
// bytes declare gigabytes of text.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "serialization/content_error.h"
#include "serialization/content_reader.h"
#include "serialization/content_writer.h"
#include "serialization/data.h"
#include "serialization/demo.h"
#include "serialization/file_io.h"
#include "serialization/scrambler.h"

namespace fs = std::filesystem;

namespace {

// A folder of its own for each test, removed afterwards.
class ScratchFolder {
public:
    ScratchFolder() {
        char pattern[] = "/tmp/qv_hardening_XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

std::string error_of(const std::function<void()>& action) {
    try {
        action();
    } catch (const ContentError& e) {
        return e.what();
    }
    return "(no error)";
}

void append_varint(std::string& out, uint64_t v) {
    while (v >= 0x80) {
        out.push_back(static_cast<char>((v & 0x7F) | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<char>(v));
}

// A stored string whose message declares `declared` bytes and then ends: the
// decoder yields that many zero bytes from a handful of stored ones.
void write_forged_string(ContentWriter& out, uint64_t declared) {
    std::string message;
    append_varint(message, declared);
    std::vector<uint8_t> bytes(message.begin(), message.end());
    scramble(bytes.data(), bytes.size());
    out.write_u64(bytes.size());
    out.write_raw(bytes.data(), bytes.size());
}

}  // namespace

// ---- names that point at things other than files ------------------------------

TEST(FileRead_DeviceNamedAsPayload, IsRefusedInsteadOfReadForever) {
    // /dev/zero never ends: reading it whole used to grow until memory ran out.
    for (const char* device : {"/dev/zero", "/dev/urandom", "/dev/null"}) {
        const std::string error = error_of([&] { try_read_file(device); });
        EXPECT_EQ(error, std::string("not a regular file: ") + device);
    }
    // Through the project form, as a payload file name.
    Data data;
    EXPECT_EQ(error_of([&] { data.from_json({{"name", "/dev/zero"}}); }), "not a regular file: /dev/zero");
    Demo demo;
    EXPECT_EQ(error_of([&] { demo.from_json({{"datas", {{{"name", "/proc/self/fd/../../../dev/zero"}}}}}); }),
              "not a regular file: /proc/self/fd/../../../dev/zero");
}

TEST(FileRead_NamedPipeWithoutWriter, DoesNotBlockTheReader) {
    ScratchFolder folder;
    const std::string fifo = folder / "content.dat";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto reading = std::async(std::launch::async, [&] { return error_of([&] { try_read_file(fifo); }); });
    if (reading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // Unblock the stuck open so the test can end, then fail.
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
        FAIL() << "opening a named pipe blocked the reader";
    }
    EXPECT_EQ(reading.get(), "not a regular file: " + fifo);
}

TEST(FileRead_PseudoFileReportingNoSize, IsReadButBounded) {
    // procfs files report size 0 and still have bytes.
    const auto status = try_read_file("/proc/self/status");
    ASSERT_TRUE(status.has_value());
    EXPECT_GT(status->size(), 0u);
    EXPECT_LE(status->size(), kMaxSizelessFileBytes);
    // pagemap reports size 0 and would give 8 bytes per page of the address
    // space (hundreds of gigabytes): refused once past the bound.
    if (::access("/proc/self/pagemap", R_OK) != 0) GTEST_SKIP() << "pagemap not readable here";
    // Under a sanitizer the kernel may end the read early instead; either
    // way nothing past the bound is ever held.
    std::optional<std::vector<uint8_t>> got;
    const std::string error = error_of([&] { got = try_read_file("/proc/self/pagemap"); });
    if (error.empty()) {
        if (got) {
            EXPECT_LE(got->size(), kMaxSizelessFileBytes);
        }
    } else {
        EXPECT_NE(error.find("file too large: /proc/self/pagemap"), std::string::npos) << error;
    }
}

TEST(FileRead_OrdinaryNames, KeepTheirMeaning) {
    ScratchFolder folder;
    // A folder holds no file: "not found", as before.
    EXPECT_FALSE(try_read_file(folder / "").has_value());
    EXPECT_EQ(error_of([&] { read_file_or_throw(folder / "missing.bin"); }),
              "File not found: " + (folder / "missing.bin"));
    // Empty and non-empty regular files read exactly, also through a link.
    const std::string empty = folder / "empty.bin", full = folder / "full.bin", link = folder / "link.bin";
    std::FILE* f = std::fopen(empty.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    std::vector<uint8_t> bytes(200000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    f = std::fopen(full.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    ASSERT_EQ(::symlink(full.c_str(), link.c_str()), 0);
    ASSERT_TRUE(try_read_file(empty).has_value());
    EXPECT_TRUE(try_read_file(empty)->empty());
    EXPECT_EQ(read_file_or_throw(full), bytes);
    EXPECT_EQ(read_file_or_throw(link), bytes);
}

// ---- strings that declare more than the stream could ever hold ----------------

TEST(ContentReader_ForgedStringLengths, CannotExhaustMemory) {
    // Each name is three stored bytes declaring 200 MiB; a few dozen of them
    // used to take gigabytes before anything failed. The reader now stops at
    // a total for the whole stream.
    constexpr uint64_t kDeclared = 200ull << 20;
    constexpr int kNames = 40;
    ContentWriter out;
    for (int i = 0; i < kNames; ++i) write_forged_string(out, kDeclared);
    const std::string& stream = out.bytes();
    ASSERT_LT(stream.size(), 1000u);
    ContentReader in(reinterpret_cast<const uint8_t*>(stream.data()), stream.size());
    int read = 0;
    const std::string error = error_of([&] {
        for (; read < kNames; ++read) EXPECT_EQ(in.read_string("data name").size(), kDeclared);
    });
    EXPECT_EQ(read, static_cast<int>(kMaxTotalStringBytes / kDeclared));
    EXPECT_NE(error.find("content error while reading data name at byte "), std::string::npos) << error;
    EXPECT_NE(error.find("in total"), std::string::npos) << error;
}

TEST(ContentReader_ForgedStringLengths, OneHugeStringIsRefusedBeforeAllocating) {
    ContentWriter out;
    write_forged_string(out, uint64_t{1} << 60);
    ContentReader in(reinterpret_cast<const uint8_t*>(out.bytes().data()), out.bytes().size());
    EXPECT_EQ(error_of([&] { in.read_string("shader source"); }),
              "content error while reading shader source at byte 0: Uncompressed data in message deemed too large");
    EXPECT_EQ(in.offset(), 0u);
}

TEST(ContentReader_ForgedStringLengths, BudgetLeavesOrdinaryContentAlone) {
    // Thousands of ordinary strings, far more stored bytes than the forged
    // ones above, all decode.
    ContentWriter out;
    const std::string text(4000, 'x');
    for (int i = 0; i < 5000; ++i) out.write_string(text + std::to_string(i));
    ContentReader in(reinterpret_cast<const uint8_t*>(out.bytes().data()), out.bytes().size());
    for (int i = 0; i < 5000; ++i) ASSERT_EQ(in.read_string("name"), text + std::to_string(i));
    EXPECT_TRUE(in.at_end());
}

TEST(ContentReader_ForgedStringLengths, LoweredBudgetHoldsAndCannotBeRaised) {
    ContentWriter out;
    for (int i = 0; i < 3; ++i) write_forged_string(out, 1000);
    ContentReader in(reinterpret_cast<const uint8_t*>(out.bytes().data()), out.bytes().size());
    in.limit_string_bytes(2500);
    in.limit_string_bytes(kMaxTotalStringBytes);  // no effect: only lowers
    EXPECT_EQ(in.read_string("a").size(), 1000u);
    EXPECT_EQ(in.read_string("b").size(), 1000u);
    EXPECT_NE(error_of([&] { in.read_string("c"); }).find("in total"), std::string::npos);
}

TEST(Demo_ForgedStringLengths, WholeStreamFailsWithOneLine) {
    // The same attack through the content reader: a datas list of records
    // whose names declare 200 MiB each.
    ContentWriter out;
    constexpr uint64_t kRecords = 30;
    out.write_u64(kRecords);
    for (int list = 0; list < 8; ++list) out.write_u64(0);  // events .. font_textures
    out.write_u64(kRecords);
    for (uint64_t i = 0; i < kRecords; ++i) {
        out.write_u64(i + 1);
        write_forged_string(out, 200ull << 20);
        out.write_u64(0);  // empty buffer
    }
    Demo demo;
    ContentReader in(reinterpret_cast<const uint8_t*>(out.bytes().data()), out.bytes().size());
    const std::string error = error_of([&] { demo.read(in); });
    EXPECT_EQ(error.rfind("content error while reading data name at byte ", 0), 0u) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
}
