// The console program's start-up read: "constants.txt", the model file's
// header, the allocation of the model arrays, read_constants and validation.
// Every failure comes back as the one line to print; the caller prints it and
// ends with exit status 1, so that the driver, the tests and other front ends
// share this code without it ending their process.
#include <algorithm>
#include <cstdio>
#include <new>

#include "console/console.h"

namespace plenta {

const char kMsgCantOpenConstants[] = "Can't open constants.txt file. Exit.\n";
const char kMsgNoDataDirLine[] = "constants.txt holds no data directory line. Exit.\n";
const char kMsgNoModelName[] = "constants.txt names no model file after its directory line. Exit.\n";
const char kMsgCantOpenModel[] = "Can't open file %s. Exit!\n";

std::string cant_open_model_message(const std::string& path) {
    return "Can't open file " + path + ". Exit!\n";
}

namespace {

std::string join_dir(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

std::string too_large_message(const std::string& path) {
    return "Model file " + path + " needs more memory than is available. Exit.\n";
}

// The reader's warnings of the header and of the whole file, in line order.
void add_warnings(ConsoleModel& model, const ReadNotes& header, const ReadNotes& body) {
    std::vector<ReadWarning> all = header.warnings;
    all.insert(all.end(), body.warnings.begin(), body.warnings.end());
    std::stable_sort(all.begin(), all.end(),
                     [](const ReadWarning& a, const ReadWarning& b) { return a.line < b.line; });
    for (const ReadWarning& w : all) model.warnings.push_back(format_read_warning(model.model_path, w));
    const long long dropped = header.warnings_dropped + body.warnings_dropped;
    if (dropped > 0)
        model.warnings.push_back("Warning: model file " + model.model_path + ": " +
                                 std::to_string(dropped) + " more places the reader skipped.\n");
}

}  // namespace

// The directory line names a directory in either convention: a line with a
// slash in it is taken as a slash-separated path, any other line (an empty one
// included) as a backslash-separated one.
std::string data_dir_from_line(const std::string& line) {
    return line + (line.find('/') != std::string::npos ? "/" : "\\");
}

std::string read_constants_txt(const std::string& path, std::string& data_dir,
                               std::string& model_name) {
    std::string text;
    if (!read_file_text(path, text)) return kMsgCantOpenConstants;
    TextScanner in(std::move(text));
    std::optional<std::string> line = get_line(in);
    if (!line) return kMsgNoDataDirLine;
    data_dir = data_dir_from_line(*line);
    model_name = scan_line(in);  // nothing after it is read
    if (model_name.empty()) return kMsgNoModelName;
    return "";
}

std::string load_console_model(const std::string& working_dir, ConsoleModel& model) {
    model = ConsoleModel{};
    model.params.eventlog_arraysize = kConsoleEventlogArraysize;

    std::string constants_path =
        working_dir.empty() ? std::string("constants.txt") : join_dir(working_dir, "constants.txt");
    std::string model_name;
    std::string message = read_constants_txt(constants_path, model.data_dir, model_name);
    if (!message.empty()) return message;
    // Relative directories are relative to the working directory of the run.
    if (!working_dir.empty() && (model.data_dir.empty() || model.data_dir[0] != '/'))
        model.data_dir = join_dir(working_dir, model.data_dir);
    model.model_path = model.data_dir + model_name;
    model.constants_path = constants_path;

    try {
        std::string text;
        if (!read_file_text(model.model_path, text)) return cant_open_model_message(model.model_path);
        std::size_t file_size = text.size();
        ReadNotes header_notes;
        {
            TextScanner header(std::move(text));
            read_header(header, model, &header_notes);
        }
        message = validate_header_counts(model, file_size);
        if (!message.empty()) {
            add_warnings(model, header_notes, ReadNotes{});
            return message;
        }

        allocate_model(model);
        ReadNotes notes;
        if (!read_constants(model.reactions, model.sizes, model.species, model.params, model.sets,
                            model.model_path, &notes, &model.formulas, &model.event_definitions))
            return cant_open_model_message(model.model_path);
        add_warnings(model, header_notes, notes);
        if (notes.event_fault.raised())
            return event_fault_message(model, notes.event_fault);
        message = validate_model(model, notes);
        if (!message.empty()) return message;
        // Formulas first: a set's named parameter changes become rate changes
        // there, and the run set-up checks every set's changes.
        message = compile_model_formulas(model);
        if (!message.empty()) return message;
        message = compile_model_events(model);
        if (!message.empty()) return message;
        return validate_run_setup(model, notes);
    } catch (const std::bad_alloc&) {
        return too_large_message(model.model_path);
    }
}

}  // namespace plenta
