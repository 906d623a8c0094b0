// Helpers of the sbml2plenta tests: temporary folders, conversion of a test
// model into a folder that plenta's own reader loads, and running programs.
#ifndef PLENTA_TOOLS_SBML2PLENTA_TESTS_SBML_SUPPORT_H
#define PLENTA_TOOLS_SBML2PLENTA_TESTS_SBML_SUPPORT_H

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console/console.h"
#include "tools/sbml2plenta/sbml2plenta.h"

namespace sbml_test {

namespace fs = std::filesystem;

inline std::string sbml_file(const std::string& name) { return std::string(SBML_DATA_DIR) + "/" + name; }

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "sbml2plenta_XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
        path_ = name.data();
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::set<std::string> file_names(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
}

// Converts a test model into `folder` and loads the result with plenta's own
// reader and validation, so every converted file is one the simulator accepts.
inline plenta::ConsoleModel convert_and_load(const std::string& model_name, const std::string& folder,
                                             const sbml2plenta::ConvertOptions& options = {}) {
    sbml2plenta::OutModel out = sbml2plenta::convert_sbml_file(sbml_file(model_name), options);
    sbml2plenta::write_model_folder(folder, out, options);
    plenta::ConsoleModel model;
    std::string fault = plenta::load_console_model(folder, model);
    EXPECT_EQ(fault, "") << "plenta refuses the converted " << model_name;
    return model;
}

// The message of the refusal of a test model, or "" when it converts.
inline std::string refusal(const std::string& model_name) {
    try {
        sbml2plenta::convert_sbml_file(sbml_file(model_name), {});
    } catch (const sbml2plenta::ConversionError& e) {
        return e.message;
    }
    return "";
}

// Exit status of a shell command, -1 when it did not exit normally.
inline int run_command(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string shell_quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace sbml_test

#endif  // PLENTA_TOOLS_SBML2PLENTA_TESTS_SBML_SUPPORT_H
