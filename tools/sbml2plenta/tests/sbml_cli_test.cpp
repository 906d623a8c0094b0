// The sbml2plenta program: exit statuses, the printed reaction lines, and a
// refused model that leaves the output folder exactly as it was.
#include <string>

#include <gtest/gtest.h>

#include "tools/sbml2plenta/tests/sbml_support.h"

namespace {

using namespace sbml_test;

// Runs the program with `args`, its standard output into `out_file`.
int convert(const std::string& args, const std::string& out_file) {
    return run_command(shell_quote(SBML2PLENTA_EXE) + " " + args + " >" + shell_quote(out_file) +
                       " 2>" + shell_quote(out_file + ".err"));
}

TEST(SbmlCli, ConvertsAndPrintsOneLinePerReaction) {
    TempDir dir;
    const std::string folder = dir.file("model folder");  // a blank in the path is fine
    ASSERT_EQ(convert(shell_quote(sbml_file("dimerisation.xml")) + " " + shell_quote(folder) +
                          " --runs 2 --time-end 5",
                      dir.file("out")),
              0);
    EXPECT_EQ(read_file(dir.file("out")),
              "reaction 'dimerise' forward: 2 X -> D as \"homo-ltor\", StoP = 0.2\n"
              "reaction 'dimerise' reverse: D -> 2 X as \"uni-multi\", StoP = 0.5\n"
              "wrote " + folder + "/constants.txt and " + folder + "/model.txt\n");
    EXPECT_EQ(read_file(folder + "/constants.txt"), "./\nmodel.txt\n");
    EXPECT_EQ(file_names(folder), (std::set<std::string>{"constants.txt", "model.txt"}));
    // plenta run in the folder finds the model and writes the runs beside it.
    ASSERT_EQ(run_command("cd " + shell_quote(folder) + " && " + shell_quote(PLENTA_EXE)), 0);
    EXPECT_TRUE(fs::exists(folder + "/traj_2"));
    EXPECT_TRUE(fs::exists(folder + "/summary.txt"));
}

TEST(SbmlCli, ACopiedFolderRunsOnItsOwnFiles) {
    TempDir dir;
    const std::string first = dir.file("run1"), second = dir.file("run2");
    ASSERT_EQ(convert(shell_quote(sbml_file("birth_death.xml")) + " " + shell_quote(first),
                      dir.file("out")),
              0);
    ASSERT_EQ(run_command("cp -r " + shell_quote(first) + " " + shell_quote(second) + " && cd " +
                          shell_quote(second) + " && " + shell_quote(PLENTA_EXE) + " >/dev/null"),
              0);
    EXPECT_TRUE(fs::exists(second + "/summary.txt"));
    EXPECT_EQ(file_names(first), (std::set<std::string>{"constants.txt", "model.txt"}));
}

TEST(SbmlCli, AnEmptyNameIsAUsageError) {
    TempDir dir;
    EXPECT_EQ(convert(shell_quote(sbml_file("birth_death.xml")) + " ''", dir.file("out")), 2);
    EXPECT_NE(read_file(dir.file("out.err")).find("the output folder's name is empty"),
              std::string::npos);
    EXPECT_EQ(convert("'' " + shell_quote(dir.file("m")), dir.file("out")), 2);
    EXPECT_NE(read_file(dir.file("out.err")).find("the SBML file's name is empty"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(dir.file("m")));
}

TEST(SbmlCli, WarningsGoToStandardError) {
    TempDir dir;
    ASSERT_EQ(convert(shell_quote(sbml_file("concentrations_l2.xml")) + " " + shell_quote(dir.file("m")),
                      dir.file("out")),
              0);
    std::string err = read_file(dir.file("out.err"));
    EXPECT_NE(err.find("warning: species 'A': initial amount 1.65 rounded to 2 molecules"), std::string::npos)
        << err;
}

TEST(SbmlCli, RefusedModelLeavesTheFolderAsItWas) {
    TempDir dir;
    // A folder that does not exist is not created.
    const std::string fresh = dir.file("fresh");
    EXPECT_EQ(convert(shell_quote(sbml_file("refuse_unknown_symbol.xml")) + " " + shell_quote(fresh),
                      dir.file("out")),
              1);
    EXPECT_FALSE(fs::exists(fresh));
    std::string err = read_file(dir.file("out.err"));
    EXPECT_NE(err.find("reaction 'r1'"), std::string::npos) << err;
    EXPECT_NE(err.find("nothing written"), std::string::npos) << err;

    // A folder holding an earlier conversion keeps it byte for byte.
    const std::string folder = dir.file("kept");
    ASSERT_EQ(convert(shell_quote(sbml_file("birth_death.xml")) + " " + shell_quote(folder), dir.file("out")), 0);
    std::string model = read_file(folder + "/model.txt");
    std::string constants = read_file(folder + "/constants.txt");
    for (const char* refused : {"refuse_event.xml", "refuse_time.xml", "refuse_fast.xml"}) {
        EXPECT_EQ(convert(shell_quote(sbml_file(refused)) + " " + shell_quote(folder), dir.file("out")), 1)
            << refused;
        EXPECT_EQ(read_file(folder + "/model.txt"), model) << refused;
        EXPECT_EQ(read_file(folder + "/constants.txt"), constants) << refused;
        EXPECT_EQ(file_names(folder), (std::set<std::string>{"constants.txt", "model.txt"})) << refused;
    }
}

TEST(SbmlCli, SystemSizeOption) {
    TempDir dir;
    const std::string model = shell_quote(sbml_file("birth_death.xml"));
    EXPECT_EQ(convert(model + " " + shell_quote(dir.file("m")) + " --system-size 0", dir.file("out")), 2);
    EXPECT_EQ(convert(model + " " + shell_quote(dir.file("m")) + " --system-size -1", dir.file("out")), 2);
    EXPECT_FALSE(fs::exists(dir.file("m")));
    // Birth-death from 100 molecules at 0.5: 50 molecules, and the factor in the file.
    ASSERT_EQ(convert(model + " " + shell_quote(dir.file("m")) + " --system-size 0.5", dir.file("out")), 0);
    const std::string text = read_file(dir.file("m/model.txt"));
    EXPECT_NE(text.find("\nX 50\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n# system size: every compartment's size multiplied by 0.5"), std::string::npos);
    // plenta reads the file with that last line, a comment it does not warn about.
    EXPECT_EQ(run_command("cd " + shell_quote(dir.file("m")) + " && " + shell_quote(PLENTA_EXE) +
                          " >/dev/null 2>" + shell_quote(dir.file("stderr"))),
              0);
    EXPECT_EQ(read_file(dir.file("stderr")), "");
}

TEST(SbmlCli, CommandLineErrorsAndHelp) {
    TempDir dir;
    const std::string model = shell_quote(sbml_file("birth_death.xml"));
    const std::string folder = shell_quote(dir.file("m"));
    EXPECT_EQ(convert("--help", dir.file("out")), 0);
    EXPECT_NE(read_file(dir.file("out")).find("--tau-error"), std::string::npos);
    EXPECT_EQ(convert(model, dir.file("out")), 2);  // no output folder
    EXPECT_EQ(convert(model + " " + folder + " --algorithm 1", dir.file("out")), 2);
    EXPECT_EQ(convert(model + " " + folder + " --seed 0", dir.file("out")), 2);
    EXPECT_EQ(convert(model + " " + folder + " --seed 2147483399", dir.file("out")), 2);
    EXPECT_EQ(convert(model + " " + folder + " --interval 0", dir.file("out")), 2);
    EXPECT_EQ(convert(model + " " + folder + " --runs 1x", dir.file("out")), 2);
    EXPECT_EQ(convert(model + " " + folder + " --monitor X,", dir.file("out")), 2);
    EXPECT_EQ(convert(model + " " + folder + " --frobnicate 1", dir.file("out")), 2);
    EXPECT_FALSE(fs::exists(dir.file("m")));
    // An output folder whose paths plenta could not hold is refused before writing.
    const std::string deep = dir.file(std::string(250, 'd'));
    EXPECT_EQ(convert(model + " " + shell_quote(deep), dir.file("out")), 1);
    EXPECT_FALSE(fs::exists(deep));
}

}  // namespace
