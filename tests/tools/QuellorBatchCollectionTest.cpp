// quellor-batch over a collection: the JAR list from folders and --from
// lists, the report of each JAR's passage, and the progress line that only
// a terminal gets.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <regex>
#include <sstream>

#include "BatchToolSupport.h"

namespace preptest {
namespace {

// The collection every case lists from: JARs by their MIDlet names, and
// what must not be listed (a text file, a folder whose name ends in .jar).
const std::map<std::string, std::string> kCollection = {
    {"dir/a.jar", "Alpha"},     {"dir/B.JAR", "Beta"},
    {"dir/c.Jar", "Gamma"},     {"dir/folder.jar/inner.jar", "Inner"},
    {"dir/sub/d.jar", "Delta"}, {"one.jar", "One"},
    {"odd name.jar", "Odd"},
};

struct InputCase {
    const char* name;
    std::vector<std::string> args;    // "{in}" starts a path in the JAR folder
    std::string input;                // standard input
    std::vector<std::string> listed;  // the JARs of kCollection, in the order run
};

const InputCase kInputCases[] = {
    // A folder: its own .jar files in any letter case, by the bytes of their
    // paths; not its sub-folders, not a folder named like a JAR.
    {"Folder", {"{in}dir"}, "", {"dir/B.JAR", "dir/a.jar", "dir/c.Jar"}},
    {"FolderWithSlash", {"{in}dir/"}, "", {"dir/B.JAR", "dir/a.jar", "dir/c.Jar"}},
    {"Recursive",
     {"--recursive", "--jobs", "2", "--force", "{in}dir"},
     "",
     {"dir/B.JAR", "dir/a.jar", "dir/c.Jar", "dir/folder.jar/inner.jar", "dir/sub/d.jar"}},
    // A list file's paths (CR LF, blank lines) take its place among the
    // arguments; relative paths are from the working folder.
    {"ListAmongJars",
     {"{in}one.jar", "--from", "{in}list.txt", "{in}dir/sub"},
     "",
     {"one.jar", "dir/c.Jar", "dir/a.jar", "dir/sub/d.jar"}},
    {"StandardInput", {"--from", "-"}, "one.jar\n\n\ndir/sub\n", {"one.jar", "dir/sub/d.jar"}},
    {"NulSeparated",
     {"-0", "--from", "-"},
     std::string("odd name.jar\0dir/c.Jar\0", 23),
     {"odd name.jar", "dir/c.Jar"}},
};

class QuellorBatchInputs : public QuellorBatch, public ::testing::WithParamInterface<InputCase> {
  protected:
    void MakeCollection() {
        for (const auto& [file, name] : kCollection) {
            Listed(file, name);
        }
        WriteBytes(In("dir/notes.txt"), "not a JAR");
        WriteBytes(In("list.txt"), "dir/c.Jar\r\n\r\n" + In("dir/a.jar") + "\n");
    }

    std::vector<std::string> Arguments(std::vector<std::string> args) {
        for (std::string& arg : args) {
            if (arg.rfind("{in}", 0) == 0) {
                arg = In(arg.substr(4));
            }
        }
        return args;
    }
};

TEST_P(QuellorBatchInputs, ListsTheJarsInTheOrderGiven) {
    const InputCase& c = GetParam();
    MakeCollection();
    std::vector<std::string> args = Arguments(c.args);
    args.insert(args.begin(), "--no-ids");
    const Result result = Prepare(args, c.input);
    std::string log;
    for (const std::string& file : c.listed) {
        log += Log(file, kCollection.at(file) + ".jad generated!");
    }
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, log);
    // Standard error is no terminal: no progress line, only the count.
    EXPECT_EQ(result.err, std::to_string(c.listed.size()) + " prepared, 0 skipped, 0 failed\n");
}

INSTANTIATE_TEST_SUITE_P(Table, QuellorBatchInputs, ::testing::ValuesIn(kInputCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Inputs that give no list end the program before anything is prepared.
TEST_F(QuellorBatch, InputsThatGiveNoJars) {
    Listed("dir/a.jar", "Alpha");
    Listed("dir/b.jar", "Beta");
    fs::create_directories(In("empty/sub"));
    Listed("empty/sub/deep.jar", "Deep");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;  // its start
    } cases[] = {
        {{In("empty")}, 1, "error: no JAR to prepare: the folders and lists given hold none\n"},
        {{"--from", "-"}, 1, "error: no JAR to prepare"},
        {{"--from", In("gone.txt")}, 1, "error: " + In("gone.txt") + ": the list of JARs cannot"},
        {{"--from", In("dir")}, 1, "error: " + In("dir") + ": the list of JARs cannot be read"},
        {{"--original-jad", In("a.jad"), In("dir")}, 2, "quellor-batch: --original-jad goes "},
        {{"--jobs", "0", In("dir")}, 2, "quellor-batch: --jobs wants a number from 1 on"},
        {{"--jobs", "many", In("dir")}, 2, "quellor-batch: --jobs wants a number from 1 on"},
    };
    for (const auto& [args, status, err] : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const Result result = Prepare(args, "\n\n");
        EXPECT_EQ(result.status, status);
        EXPECT_EQ(result.err.rfind(err, 0), 0u) << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_FALSE(fs::exists(Projects()));
}

// The report's records, normalised by python3 from JSON lines or CSV alike:
// one line per record, "name=value" fields joined by tabs; a listed path is
// given back as the bytes it names.
std::string ReportRecords(const std::string& file) {
    const std::string script = R"(
import csv, json, sys
path = sys.argv[1]
def text(value):
    if value is None: return ''
    if value is True: return 'true'
    if value is False: return 'false'
    if isinstance(value, list): return '; '.join(value)
    return str(value)
if path.lower().endswith('.csv'):
    with open(path, newline='', encoding='latin-1') as f:
        rows = list(csv.DictReader(f))
else:
    with open(path, encoding='utf-8') as f:
        rows = [json.loads(line) for line in f]
for row in rows:
    fields = [k + '=' + text(v).replace('\n', '|') for k, v in row.items()]
    sys.stdout.buffer.write(('\t'.join(fields) + '\n').encode('latin-1'))
)";
    return Shell("python3 -c " + Quote(script) + " " + Quote(file)).out;
}

std::string Sha256(const std::string& file) {
    return Shell("sha256sum < " + Quote(file) + " | cut -c1-64").out.substr(0, 64);
}

std::string Field(const std::string& record, const std::string& name) {
    const auto at = record.find(name + "=");
    if (at == std::string::npos) {
        return "<none>";
    }
    const auto start = at + name.size() + 1;
    return record.substr(start, record.find_first_of("\t\n", start) - start);
}

// --report: a record per JAR, in list order, telling what the run did with
// it; JSON lines and CSV hold the same records. A failure that ends the run
// ends the report with its JAR's record.
TEST_F(QuellorBatch, ReportRecordsWhatBecameOfEachJar) {
    // A path that is no UTF-8, with a quote, is kept byte for byte.
    const std::string odd = "q\"\xe9/odd.jar";
    Listed("a.jar", "Alpha");
    MakeZipJar(In("bad.jar"), std::nullopt, {{"x.class", "x"}});
    Listed("again.jar", "Alpha");
    Listed("skip.jar", "Skip");
    Listed(odd, "Odd");
    const std::vector<std::string> jars = {"a.jar",    "bad.jar",     "again.jar",
                                           "skip.jar", "missing.jar", odd};
    struct Want {
        std::string project, outcome, already, message;  // the message's start
    };
    const std::vector<Want> wants = {
        {"Alpha", "prepared", "false", "Alpha.jad generated!|Alpha.ids generated!"},
        {"", "failed", "false", kNoManifest},
        {"Alpha", "prepared", "true", "Alpha.jad is already generated!"},
        {"", "skipped", "false", Temp("skip.jar") + " already exists!"},
        {"", "failed", "false", "File not found"},
        {"Odd", "prepared", "false", "Odd.jad generated!"},
    };

    std::map<std::string, std::string> records;
    for (const std::string report : {"report.jsonl", "report.CSV"}) {
        SCOPED_TRACE(report);
        fs::remove_all(Projects());
        fs::remove_all(Temp());
        WriteBytes(Temp("skip.jar"), "left by an earlier run");
        WriteBytes(Program() + report, "an older report");
        fs::permissions(Program() + report, fs::perms(0640));
        std::vector<std::string> args = {"--keep-going", "--check", "--report", Program() + report};
        args.insert(args.end(), jars.begin(), jars.end());
        const Result result = Prepare(args);
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(Contains(result.err, "3 prepared, 1 skipped, 2 failed\n")) << result.err;
        // The report replaced the older one and kept its permissions.
        EXPECT_EQ(fs::status(Program() + report).permissions(), fs::perms(0640));
        records[report] = ReportRecords(Program() + report);
    }
    // The projects' JARs of the two runs differ in their times alone.
    const std::regex projectHash("project_jar_sha256=[0-9a-f]*");
    EXPECT_EQ(std::regex_replace(records["report.jsonl"], projectHash, ""),
              std::regex_replace(records["report.CSV"], projectHash, ""));

    std::istringstream lines(records["report.CSV"]);
    std::string record;
    for (std::size_t i = 0; i < jars.size(); ++i) {
        ASSERT_TRUE(std::getline(lines, record)) << records["report.CSV"];
        SCOPED_TRACE(record);
        const Want& want = wants[i];
        EXPECT_EQ(Field(record, "listed"), In(jars[i]));
        EXPECT_EQ(Field(record, "project"), want.project);
        EXPECT_EQ(Field(record, "outcome"), want.outcome);
        EXPECT_EQ(Field(record, "already_generated"), want.already);
        EXPECT_EQ(Field(record, "message").rfind(want.message, 0), 0u);
        const bool exists = fs::exists(In(jars[i]));
        EXPECT_EQ(Field(record, "listed_sha256"), exists ? Sha256(In(jars[i])) : "");
        EXPECT_EQ(Field(record, "listed_size"),
                  exists ? std::to_string(fs::file_size(In(jars[i]))) : "");
        const std::string project = Projects(want.project + "/" + want.project + ".jar");
        EXPECT_EQ(Field(record, "project_jar_sha256"), want.project.empty() ? "" : Sha256(project));
        // The installer's verdict and the suite's facts for a new project.
        const bool made = want.outcome == "prepared" && want.already == "false";
        EXPECT_EQ(Field(record, "verdict_text").rfind(made ? project + ": verdict " : "", 0), 0u);
        EXPECT_EQ(Field(record, "verdict_ok") == "", !made);
        EXPECT_EQ(Field(record, "midlet_name"), made ? want.project : "");
        EXPECT_EQ(Field(record, "midlet_vendor"), made ? "Tests" : "");
        EXPECT_EQ(Field(record, "kind"), made ? "midlet-suite" : "");
    }
    EXPECT_FALSE(std::getline(lines, record)) << record;

    // Without --keep-going the failure ends the run, and the report.
    fs::remove_all(Projects());
    fs::remove_all(Temp());
    const Result ended =
        Prepare({"--report", Program() + "report.jsonl", "a.jar", "bad.jar", "again.jar"});
    EXPECT_EQ(ended.status, 1);
    EXPECT_TRUE(Contains(ended.err, "1 prepared, 0 skipped, 1 failed\n")) << ended.err;
    const std::string report = ReportRecords(Program() + "report.jsonl");
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 2) << report;
    EXPECT_TRUE(Contains(report, "listed=" + In("bad.jar") + "\tproject=\toutcome=failed"));

    // A report that cannot be written where it is named stops the run first.
    const Result nowhere = Prepare({"--report", Program() + "no/such/report.csv", "a.jar"});
    EXPECT_EQ(nowhere.status, 1);
    EXPECT_TRUE(Contains(nowhere.err, "the report cannot be written")) << nowhere.err;
    EXPECT_EQ(nowhere.out, "");
}

// A report that cannot be put in place fails the run, and leaves the older
// report as it was, with nothing beside it. The JAR is skipped, so that the
// report is all the run writes.
TEST_F(QuellorBatch, ReportThatCannotBeWrittenFailsTheRun) {
    Listed("a.jar", "Alpha");
    WriteBytes(Temp("a.jar"), "left by an earlier run");
    const std::string report = Program() + "reports/run.csv";
    WriteBytes(report, "an older report");
    for (const char* fault : {"Flush 1", "Rename 1"}) {
        SCOPED_TRACE(fault);
        const Result result = RunTool({std::string("QUELLOR_FAULT=") + fault,
                                       QUELLOR_BINARY_DIR "/tests/quellor-batch-faults",
                                       "--program-folder", Program(), "--report", report, "a.jar"},
                                      "env");
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(Contains(result.err, "error: " + report + ": the report cannot be written: "));
        EXPECT_TRUE(Contains(result.err, "\n0 prepared, 1 skipped, 0 failed\n"));
        EXPECT_EQ(ReadBytes(report), "an older report");
        EXPECT_EQ(FolderNames(Program() + "reports"), std::vector<std::string>{"run.csv"});
    }
}

// The tool run with a terminal for its standard error, and its standard
// output unless `out` names a file for it: what the terminal got, and the
// exit status.
std::pair<std::string, int> OnTerminal(const std::vector<std::string>& args,
                                       const std::string& out = {}) {
    std::vector<std::string> words = {kTool};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        if (!out.empty()) {
            const int file = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (file < 0 || dup2(file, STDOUT_FILENO) < 0) {
                _exit(126);
            }
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    std::string screen;
    if (child < 0) {
        return {screen, -1};
    }
    char buffer[4096];
    for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;) {
        screen.append(buffer, static_cast<std::size_t>(n));
    }
    close(terminal);
    int status = 0;
    waitpid(child, &status, 0);
    return {screen, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// On a terminal one progress line is drawn below the log lines and cleared
// before the count line; --quiet leaves it out with the log.
TEST_F(QuellorBatch, ProgressLineOnlyOnATerminal) {
    Listed("a.jar", "Alpha");
    Listed("b.jar", "Beta");
    const std::vector<std::string> args = {"--program-folder", Program(), "--no-ids", In("a.jar"),
                                           In("b.jar")};
    const auto [screen, status] = OnTerminal(args);
    EXPECT_EQ(status, 0) << screen;
    const std::string clear = "\r\x1b[K";
    EXPECT_EQ(screen.rfind("0 of 2 JARs" + clear + In("a.jar") + ": Alpha.jad generated!", 0), 0u)
        << screen;
    const auto last = screen.rfind("2 of 2 JARs, ");
    ASSERT_NE(last, std::string::npos) << screen;
    EXPECT_EQ(screen.substr(screen.find(clear, last)),
              clear + "2 prepared, 0 skipped, 0 failed\r\n");

    fs::remove_all(Projects());
    std::vector<std::string> quiet = args;
    quiet.push_back("--quiet");
    EXPECT_EQ(OnTerminal(quiet).first, "2 prepared, 0 skipped, 0 failed\r\n");

    // The log in a file: the terminal's line is redrawn only as JARs are
    // done, not for each line of the log.
    fs::remove_all(Projects());
    const std::string log = Program() + "log.txt";
    const std::string alone = OnTerminal(args, log).first;
    EXPECT_EQ(alone.rfind("0 of 2 JARs", 0), 0u) << alone;
    EXPECT_TRUE(Contains(alone, clear + "2 of 2 JARs, ")) << alone;
    EXPECT_LE(std::count(alone.begin(), alone.end(), '\r'), 4) << alone;
    EXPECT_EQ(ReadBytes(log),
              Log("a.jar", "Alpha.jad generated!") + Log("b.jar", "Beta.jad generated!"));
}

}  // namespace
}  // namespace preptest
