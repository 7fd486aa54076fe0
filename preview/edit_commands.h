// The editing lines of the control channel, run against the timeline editor:
//
//   key add EVENT UNIFORM BEAT VALUE|"TEXT"      key move EVENT UNIFORM INDEX BEAT [VALUE]
//   key set EVENT UNIFORM INDEX VALUE|"TEXT"     key delete EVENT UNIFORM INDEX
//   keys EVENT UNIFORM                           (the track as JSON)
//   track EVENT UNIFORM [mode last_value|linear|smooth] [repeat on|off]
//   event add effect|audio_sample|group|uniforms NAME START END [TARGET]
//   event move EVENT START      event resize EVENT START END
//   event duplicate EVENT NAME START      event delete EVENT
//   event visible EVENT on|off
//   def add EVENT NAME [MIN MAX DEFAULT] [text]   def rename EVENT OLD NEW
//   def delete EVENT NAME      def range EVENT NAME MIN MAX DEFAULT
//   undo | redo
//
// Beats are the demo's beats. Keys are indexed in stored order from 0. Bad
// names, indices and numbers get an error answer and change nothing.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "preview/timeline_editor.h"

struct EditCommandResult {
    nlohmann::json answer;  // the line to answer with (before any re-read)
    EditOutcome outcome;    // what the caller still has to do
};

// `words` as ControlCommand::words (the verb first); `quoted` says which
// words were quoted texts.
EditCommandResult run_edit_command(TimelineEditor& editor, Demo& demo, const std::vector<std::string>& words,
                                   const std::vector<bool>& quoted);

// The track of `uniform` of event `event` as an answer: mode, repeat and
// keys with their demo beats.
nlohmann::json track_answer(Demo& demo, size_t event, const std::string& uniform);
