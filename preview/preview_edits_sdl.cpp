// The preview's side of timeline editing: control lines that edit, the
// re-read of the demo from the editor's text, saving, the outside change
// while edits are unsaved, and quitting with unsaved edits.
#include <SDL.h>
#include <imgui.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/playback_setup.h"
#include "nodes/resource_node_types.h"
#include "preview/beat_grid.h"
#include "preview/edit_commands.h"
#include "preview/preview_session.h"
#include "preview/utf8_text.h"
#include "serialization/demo.h"

namespace fs = std::filesystem;

std::optional<std::string> read_text_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

namespace {

// Through a temporary file beside it and a rename, so a failed write never
// leaves half a project.
std::string write_text(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".saving";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return "cannot write " + temporary;
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return "cannot write " + temporary;
        }
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return "cannot replace " + path;
    }
    return "";
}

}  // namespace

std::string PreviewSession::reread_from_text() {
    PreviewLoad load = load_for_preview(o_.input, window_, context_, &editor_.text());
    if (!load.demo || !load.errors.empty()) {
        std::string why = load.errors.empty() ? "the edited project does not load" : load.errors.front().text();
        // The failed version registered its node types; the running demo's
        // take their place again.
        load.demo.reset();
        register_content_node_types(*demo_);
        return valid_utf8(why);
    }
    take_keeping_playhead(load);
    seeked_ = true;
    panel_.forget_selection();
    ++last_reload_.count;
    last_reload_.kind = "edit";
    last_reload_.ok = true;
    return "";
}

std::string PreviewSession::apply_outcome(const EditOutcome& outcome, bool drop_on_failure) {
    events_dirty_ = true;
    if (!outcome.ok) return outcome.error;
    if (!outcome.reread) return "";
    std::string why = reread_from_text();
    if (!why.empty() && drop_on_failure) editor_.drop_last();
    return why;
}

std::string PreviewSession::save() {
    if (!project_ || !editor_.ready()) return "only a project file that reads can be saved";
    if (conflict_) return "project.json changed on disk: 'conflict keep' (then save) or 'conflict reload' first";
    own_save_ = editor_.text();
    if (std::string why = write_text(project_path_, editor_.text()); !why.empty()) {
        own_save_.reset();
        return why;
    }
    editor_.mark_saved();
    return "";
}

bool PreviewSession::take_outside_change() {
    const std::optional<std::string> disk = read_text_file(project_path_);
    // Our own save: nothing to read.
    const bool own = own_save_ && disk && *disk == *own_save_;
    own_save_.reset();
    if (own) return false;
    if (editor_.unsaved()) {
        if (!conflict_) {
            std::printf("note: project.json changed on disk while edits are unsaved; they are kept "
                        "('conflict reload' drops them, 'conflict keep' keeps them)\n");
            std::fflush(stdout);
        }
        conflict_ = true;
        return false;
    }
    return true;
}

void PreviewSession::handle_edit(const ControlCommand& c) {
    const std::string& verb = c.words.front();
    if (verb == "grid") {
        int n = 0;
        if (c.words.size() != 2 || (n = std::atoi(c.words[1].c_str()), !is_grid_division(n)))
            return answer(error_answer("grid wants 1, 2, 3, 4, 6, 8 or 16"));
        panel_.grid = n;
        return answer({{"ok", true}, {"grid", n}});
    }
    if (!project_) return answer(error_answer("editing needs a project file (.json)"));
    if (stale_ && verb != "conflict") return answer(error_answer("the project does not load now; mend it first"));
    if (verb == "save") {
        if (c.words.size() != 1) return answer(error_answer("save takes no arguments"));
        if (std::string why = save(); !why.empty()) return answer(error_answer(why));
        return answer({{"ok", true}, {"saved", project_path_}, {"unsaved", false}});
    }
    if (verb == "conflict") {
        if (c.words.size() != 2 || (c.words[1] != "keep" && c.words[1] != "reload"))
            return answer(error_answer("conflict wants keep or reload"));
        if (!conflict_) return answer(error_answer("there is no conflict"));
        conflict_ = false;
        if (c.words[1] == "reload") {
            std::string error;
            editor_.open(read_text_file(project_path_).value_or(""), error);
            reload({project_path_});
        }
        return answer({{"ok", true}, {"unsaved", editor_.unsaved()}});
    }
    EditCommandResult r = run_edit_command(editor_, *demo_, c.words, c.quoted);
    const bool edit = verb != "keys" && r.outcome.ok;
    if (edit) {
        const std::string why = apply_outcome(r.outcome, verb != "undo" && verb != "redo");
        if (!why.empty()) return answer(error_answer(why));
        r.answer["unsaved"] = editor_.unsaved();
    }
    answer(r.answer);
}

void PreviewSession::request_quit() {
    if (!editor_.unsaved()) {
        quit_ = true;
        return;
    }
    // Without the overlay there is no dialog to ask with; the second press
    // quits.
    if (!overlay_ok_ || asking_quit_) {
        if (!overlay_ok_ && !asking_quit_) {
            std::printf("note: there are unsaved edits; press Escape again to quit without saving\n");
            std::fflush(stdout);
            asking_quit_ = true;
            return;
        }
        if (!overlay_ok_) quit_ = true;
        return;
    }
    asking_quit_ = true;
    overlay_.visible = true;
}

void PreviewSession::refresh_overlay_events() {
    if (!events_dirty_) return;
    events_dirty_ = false;
    events_.clear();
    for (const auto& e : demo_->events) events_.push_back({valid_utf8(e->name), e->type, e->start_beat, e->end_beat});
}

void PreviewSession::run_panel() {
    PanelRequests requests;
    if (panel_.visible) {
        PanelView view;
        view.beat = current_beat_;
        view.has_loop = playhead_.has_loop();
        view.loop_start = playhead_.loop_start_beat();
        view.loop_end = playhead_.loop_end_beat();
        view.end_beat = demo_->end_beat;
        view.bpm = playhead_.bpm();
        view.beat_offset = playhead_.beat_offset();
        view.pcm = feed_.samples();
        view.unsaved = editor_.unsaved();
        // Edits need the project's text; without it the panel only shows.
        static TimelineEditor no_edits;
        panel_.draw(*demo_, project_ && !stale_ ? editor_ : no_edits, view, requests);
    }
    if (requests.seek) seek(*requests.seek);
    if (requests.edit) {
        if (std::string why = apply_outcome(*requests.edit, true); !why.empty()) {
            std::printf("note: edit refused: %s\n", valid_utf8(why).c_str());
            std::fflush(stdout);
        }
    }
    if (asking_quit_) {
        ImGui::OpenPopup("unsaved edits");
        if (ImGui::BeginPopupModal("unsaved edits", nullptr, ImGuiWindowFlags_AlwaysAutoResize)) {
            ImGui::TextUnformatted("The timeline has unsaved edits.");
            if (ImGui::Button("Save and quit")) {
                if (std::string why = save(); why.empty()) quit_ = true;
                else std::printf("note: not saved: %s\n", valid_utf8(why).c_str());
                asking_quit_ = false;
            }
            ImGui::SameLine();
            if (ImGui::Button("Quit without saving")) quit_ = true;
            ImGui::SameLine();
            if (ImGui::Button("Cancel")) asking_quit_ = false;
            ImGui::EndPopup();
        }
    }
}
