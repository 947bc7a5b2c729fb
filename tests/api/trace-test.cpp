// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The call trace, read back from its file: what each record shows, that no
// record is lost or torn whatever way the process ends, and that a call
// traced, refused or failing behaves as an untraced one.
#include <fcntl.h>
#include <limits.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <future>
#include <regex>
#include <set>
#include <thread>
#include <vector>

#include "FrontEnd.h"

namespace TrelvoTest {
namespace {

using Json = nlohmann::ordered_json;

// TIME PID/TID RECORD <DURATIONus>[ (in NAME)]; the record and the suffix
// are the third and fourth groups.
const std::regex kTextRecord(
    R"(\d\d:\d\d:\d\d\.\d{6} (\d+)/(\d+) (.*) <\d+\.\d{3}us>( \(in \w+\))?)");
const std::regex kHeader(R"(# pid (\d+) "trace-test" trace started \d{4}-\d\d-\d\dT\d\d:\d\d:)"
                         R"(\d\d\.\d{6}Z at CLOCK_MONOTONIC \d+\.\d{6} s)");
const std::regex kSummaryHead(R"(# summary of pid (\d+) "trace-test", by total time)");
const char kSummaryColumns[] =
    "# time %    total us     mean us      max us    calls failures function";
// SHARE TOTAL MEAN MAX CALLS FAILURES NAME; the total's microseconds, the
// calls, the failures and the name are the groups.
const std::regex kSummaryRow(
    R"(# +\d+\.\d\d +(\d+)\.\d{3} +\d+\.\d{3} +\d+\.\d{3} +(\d+) +(\d+) (\w+))");

std::string Hex(const void* pointer) {
    char text[32];
    snprintf(text, sizeof text, "%p", pointer);
    return text;
}

class TraceTest : public FrontEndTest {
protected:
    TraceTest() : m_fake(PlaceFake("complete", library())) {}

    // Traces into name, relative to the current directory work(); returns
    // the file's path for the process pid.
    std::string TraceTo(const std::string& name, pid_t pid = getpid()) {
        environment().set("TRELVOTRACE", name);
        return work() + "/" + std::regex_replace(name, std::regex("%p"), std::to_string(pid));
    }

    // Each line as "RECORD[ (in NAME)]", "# pid P", "# summary of pid P" or,
    // checked to come by total time and listed here by name, "# NAME CALLS
    // FAILURES".
    static std::vector<std::string> TextRecords(const std::string& path) {
        std::vector<std::string> records;
        size_t rows = 0;
        unsigned long long previousTotal = 0;
        for (const std::string& line : ReadLines(path)) {
            std::smatch match;
            if (line == kSummaryColumns) {
                rows = records.size();
                previousTotal = ULLONG_MAX;
            } else if (std::regex_match(line, match, kSummaryRow)) {
                EXPECT_LE(std::stoull(match[1]), previousTotal) << line;
                previousTotal = std::stoull(match[1]);
                records.push_back("# " + match[4].str() + " " + match[2].str() + " " +
                                  match[3].str());
                std::sort(records.begin() + static_cast<long>(rows), records.end());
            } else if (std::regex_match(line, match, kTextRecord)) {
                records.push_back(match[3].str() + match[4].str());
            } else if (std::regex_match(line, match, kHeader)) {
                records.push_back("# pid " + match[1].str());
            } else if (std::regex_match(line, match, kSummaryHead)) {
                records.push_back("# summary of pid " + match[1].str());
            } else {
                ADD_FAILURE() << "unexpected line: " << line;
            }
        }
        return records;
    }

    // A JSON trace has no closing bracket: it is whole as it stands.
    static Json JsonTrace(const std::string& path) {
        return Json::parse(ReadFile(path).value_or("") + "]", nullptr, false);
    }

    // Each event as the text layout shows it, from its members in the order
    // written, so that one expectation serves both layouts: "# pid P" for a
    // process's name, "# thread NAME" for a thread's, which every complete
    // event's process and thread have before it.
    static std::vector<std::string> JsonRecords(const std::string& path) {
        const Json events = JsonTrace(path);
        EXPECT_TRUE(events.is_array()) << ReadFile(path).value_or("");
        const auto shown = [](const Json& value) {  // JSON gives numbers in hex as strings
            const bool hex = value.is_string() && value.get<std::string>().rfind("0x", 0) == 0;
            return hex ? value.get<std::string>() : value.dump();
        };
        std::vector<std::string> records;
        std::set<std::pair<int, int>> named;  // threads, and processes as thread 0
        for (const Json& event : events.is_array() ? events : Json::array()) {
            const int pid = event["pid"], tid = event["tid"];
            const Json& args = event["args"];
            const std::string name = event["name"];
            if (name == "process_name" || name == "thread_name") {
                const bool process = name == "process_name";
                named.insert({pid, process ? 0 : tid});
                EXPECT_TRUE(!process || (args["utc"].is_string() && args["ts"].is_number()));
                records.push_back(process ? "# pid " + std::to_string(pid)
                                          : "# thread " + args["name"].get<std::string>());
                continue;
            }
            EXPECT_TRUE(named.count({pid, 0}) && named.count({pid, tid})) << event;
            EXPECT_TRUE(event["ph"] == "X" && event["ts"].is_number() && event["dur"].is_number());
            if (event["cat"] == "front end") {
                records.push_back("-- " + name + " " + shown(args["path"]) + " (in " +
                                  args["in"].get<std::string>() + ")");
                continue;
            }
            std::string record = name + "(", separator;
            for (const auto& member : args.items()) {
                if (member.key() == "result") break;
                record += member.key()[0] == '*' ? " -> " + member.value().dump()
                                                 : separator + shown(member.value());
                separator = ", ";
            }
            record += ") = " + shown(args["result"]);
            if (args.contains("resultName")) record += " " + args["resultName"].get<std::string>();
            if (args.contains("frontEndCall")) {
                const Json& inner = args["frontEndCall"];
                record += " [by the front end: " + inner["name"].get<std::string>() + "(" +
                          (inner.contains("counter") ? "-> " + inner["counter"].dump() : "") +
                          ") = " + inner["result"].get<std::string>() + "]";
            }
            records.push_back(record);
        }
        return records;
    }

    // Finds nothing, loads, fails a status call with a code of the
    // implementation's own, unloads on the path setter (status 3), loads
    // again, and unloads on the last client; then the front end goes, is
    // loaded again in the same process, and goes.
    void MakeCalls() {
        const FrontEndExports& api = LoadFrontEnd();
        const std::string aside = m_fake + ".aside";
        ASSERT_EQ(rename(m_fake.c_str(), aside.c_str()), 0);
        EXPECT_EQ(api.VELT_GetService(7, nullptr), TRELVO_E_IMPLEMENTATION_UNAVAILABLE);
        ASSERT_EQ(rename(aside.c_str(), m_fake.c_str()), 0);
        FakeVelt_SetConnectionStatus(3);
        FakeVelt_SetLastClient(1);
        FakeVelt_SetErrorMessage("say \"hi\"\x01");
        EXPECT_EQ(api.VELT_Disconnect(), TRELVO_E_NOT_LOADED);
        EXPECT_EQ(api.VELT_ConnectWithURI(reinterpret_cast<VeltArg>(0x1234), nullptr), 0u);
        EXPECT_EQ(api.VELT_GetService(7, nullptr), 0u);
        FakeVelt_SetResult(FAKE_VELT_GetConnectionStatus, TRELVO_E_NOT_LOADED);
        EXPECT_EQ(api.VELT_GetConnectionStatus(&m_status), TRELVO_E_NOT_LOADED);
        FakeVelt_SetResult(FAKE_VELT_GetConnectionStatus, 0);
        EXPECT_EQ(api.VELT_GetConnectionStatus(&m_status), 0u);
        EXPECT_STREQ(api.VELT_GetLastErrorMessage(0), "say \"hi\"\x01");
        EXPECT_EQ(api.Trelvo_SetVeltApiImplementationPath(m_fake.c_str()), 0u);
        EXPECT_STREQ(api.Trelvo_GetVeltApiImplementationPath(), m_fake.c_str());
        EXPECT_EQ(api.VELT_GetConnectionStatus(nullptr), 0u);
        EXPECT_EQ(api.VELT_DisconnectIfLastClient(&m_lastClient), 0u);
        m_frontEnd->close();
        EXPECT_EQ(LoadFrontEnd().VELT_GetService(9, nullptr), 0u);
        m_frontEnd->close();
    }

    const std::string m_fake;
    uint32_t m_status = 0;
    uint32_t m_lastClient = 0;
};

using LayoutTest = TableTest<TraceTest, NamedCase>;

// An earlier run's file is emptied first; a reload appends, naming the
// process and thread again in JSON. Only text has summaries.
TEST_P(LayoutTest, ShowsEachCallAndEventOfTheFrontEnd) {
    const bool json = GetParam().caseName == std::string("Json");
    const std::string file = json ? "trace.json" : "trace.txt", trace = TraceTo(file);
    root().write("work/" + file, "an earlier run's trace\n");
    MakeCalls();

    const std::string fake = "\"" + m_fake + "\"", pid = "# pid " + std::to_string(getpid());
    const std::vector<std::string> records{
        pid,
        "VELT_GetService(7, null) = 0x8000000e TRELVO_E_IMPLEMENTATION_UNAVAILABLE",
        "VELT_Disconnect() = 0x80000007 TRELVO_E_NOT_LOADED",
        "-- loaded " + fake + " (in VELT_ConnectWithURI)",
        "VELT_ConnectWithURI(0x1234, null) = 0x00000000",
        "VELT_GetService(7, null) = 0x00000000",
        "VELT_GetConnectionStatus(" + Hex(&m_status) + ") = 0x80000007",
        "VELT_GetConnectionStatus(" + Hex(&m_status) + " -> 3) = 0x00000000",
        R"(VELT_GetLastErrorMessage(0) = "say \"hi\"\u0001")",
        "-- unloaded " + fake + " (in Trelvo_SetVeltApiImplementationPath)",
        "Trelvo_SetVeltApiImplementationPath(" + fake +
            ") = 0x00000000 [by the front end: VELT_GetConnectionStatus(-> 3) = 0x00000000]",
        "Trelvo_GetVeltApiImplementationPath() = " + fake,
        "-- loaded " + fake + " (in VELT_GetConnectionStatus)",
        "VELT_GetConnectionStatus(null) = 0x00000000",
        "-- unloaded " + fake + " (in VELT_DisconnectIfLastClient)",
        "VELT_DisconnectIfLastClient(" + Hex(&m_lastClient) + " -> 1) = 0x00000000",
        "# summary of pid " + std::to_string(getpid()),
        "# Trelvo_GetVeltApiImplementationPath 1 0",
        "# Trelvo_SetVeltApiImplementationPath 1 0",
        "# VELT_ConnectWithURI 1 0",
        "# VELT_Disconnect 1 1",
        "# VELT_DisconnectIfLastClient 1 0",
        "# VELT_GetConnectionStatus 3 1",
        "# VELT_GetLastErrorMessage 1 0",
        "# VELT_GetService 2 1",
        pid,
        "-- loaded " + fake + " (in VELT_GetService)",
        "VELT_GetService(9, null) = 0x00000000",
        "# summary of pid " + std::to_string(getpid()),
        "# VELT_GetService 1 0",
    };
    if (!json) {
        EXPECT_EQ(TextRecords(trace), records);
        return;
    }
    char threadName[16] = "";  // an emulator's own name under one
    prctl(PR_GET_NAME, threadName);
    std::vector<std::string> events;
    for (const std::string& record : records) {
        if (record.rfind("# ", 0) == 0 && record != pid) continue;
        events.push_back(record);
        if (record == pid) events.push_back("# thread " + std::string(threadName));
    }
    EXPECT_EQ(JsonRecords(trace), events);
}

INSTANTIATE_TEST_SUITE_P(Layouts, LayoutTest,
                         ::testing::Values(NamedCase{"Text"}, NamedCase{"Json"}), CaseName());

// Each record is one write, so none is torn or mixed with another thread's.
TEST_F(TraceTest, ManyThreadsGiveOneWholeRecordPerCall) {
    constexpr int kThreads = 8, kCallsPerThread = 500;
    const std::string trace = TraceTo("trace.txt");
    const FrontEndExports& api = LoadFrontEnd();
    ASSERT_EQ(api.VELT_Connect(nullptr), 0u);
    std::vector<std::future<void>> threads;
    for (int thread = 0; thread < kThreads; ++thread) {
        threads.push_back(std::async(std::launch::async, [&api, thread] {
            for (int call = 0; call < kCallsPerThread; ++call) {
                api.VELT_GetService(thread, reinterpret_cast<VeltArg>(call + 1));
            }
        }));
    }
    for (auto& thread : threads) thread.get();
    m_frontEnd->close();

    const std::vector<std::string> records = TextRecords(trace);
    std::set<std::string> calls;
    for (const std::string& record : records) {
        if (record.rfind("VELT_GetService(", 0) == 0) calls.insert(record);
    }
    EXPECT_EQ(calls.size(), static_cast<size_t>(kThreads * kCallsPerThread));
    EXPECT_EQ(records.back(), "# VELT_GetService 4000 0");
}

struct ChildEnd : NamedCase {
    const char* name;  // without "%p" the file of the parent, whose front end goes first
    enum { kAbort, kExit, kExitWhileThreadsCall } end;
};

using ChildTraceTest = TableTest<TraceTest, ChildEnd>;

// The child's calls are all in the file, whole, and the file stays readable:
// after a crash, after exit with threads still calling (which takes a few
// runs to catch), and in the file of a parent that has ended its trace.
TEST_P(ChildTraceTest, KeepsEveryRecordOfAChildThatEnds) {
    const ChildEnd& c = GetParam();
    TraceTo(c.name);
    const FrontEndExports& api = LoadFrontEnd();
    FakeVelt_SetResult(FAKE_VELT_GetService, 5);  // counted for the parent, not the child
    ASSERT_EQ(api.VELT_GetService(9, nullptr), 5u);
    FakeVelt_SetResult(FAKE_VELT_GetService, 0);
    for (int run = 0; run < (c.end == ChildEnd::kExitWhileThreadsCall ? 20 : 1); ++run) {
        int parentDone[2];
        ASSERT_EQ(pipe(parentDone), 0);
        const pid_t child = fork();
        if (child == 0) {
            char byte;
            close(parentDone[1]);
            if (read(parentDone[0], &byte, 1) != 0) _exit(2);
            for (int call = 0; call < 3; ++call) api.VELT_GetService(call, nullptr);
            if (c.end == ChildEnd::kAbort) abort();
            std::atomic<int> calls{0};
            for (int i = 0; c.end == ChildEnd::kExitWhileThreadsCall && i < 2; ++i) {
                std::thread([&api, &calls] {
                    for (;;) api.VELT_GetService(calls++, nullptr);
                }).detach();
            }
            while (c.end == ChildEnd::kExitWhileThreadsCall && calls < 50) sched_yield();
            exit(0);
        }
        if (std::strstr(c.name, "%p") == nullptr) m_frontEnd->close();
        close(parentDone[0]);
        close(parentDone[1]);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_EQ(WIFSIGNALED(status), c.end == ChildEnd::kAbort);
        const std::string trace = TraceTo(c.name, child), pid = std::to_string(child);
        const bool json = std::strstr(c.name, ".json") != nullptr;
        const std::vector<std::string> records = json ? JsonRecords(trace) : TextRecords(trace);
        const auto count = [&records](const std::string& record) {
            return std::count(records.begin(), records.end(), record);
        };
        EXPECT_GE(count("VELT_GetService(0, null) = 0x00000000"), 1) << run;
        if (json) {
            EXPECT_EQ(count("# pid " + pid), 1);
            continue;
        }
        EXPECT_EQ(count("# summary of pid " + pid), c.end == ChildEnd::kAbort ? 0 : 1);
        EXPECT_EQ(count("# VELT_GetService 3 0"), c.end == ChildEnd::kExit ? 1 : 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ends, ChildTraceTest,
    ::testing::Values(
        ChildEnd{{"TextAbort"}, "trace-%p.txt", ChildEnd::kAbort},
        ChildEnd{{"TextExit"}, "trace-%p.txt", ChildEnd::kExit},
        ChildEnd{{"TextExitWhileThreadsCall"}, "trace-%p.txt", ChildEnd::kExitWhileThreadsCall},
        ChildEnd{{"TextSharedFile"}, "trace.txt", ChildEnd::kExit},
        ChildEnd{{"JsonAbort"}, "trace-%p.json", ChildEnd::kAbort},
        ChildEnd{{"JsonExit"}, "trace-%p.json", ChildEnd::kExit},
        ChildEnd{{"JsonExitWhileThreadsCall"}, "trace-%p.json", ChildEnd::kExitWhileThreadsCall},
        ChildEnd{{"JsonSharedFile"}, "trace.json", ChildEnd::kExit}),
    CaseName());

// What a test plants at the trace's name: nothing, a link to the victim,
// an empty file, or a FIFO.
int Nothing(const char*, const char*) { return 0; }
int EmptyFile(const char*, const char* name) { return close(creat(name, 0666)); }
int Fifo(const char*, const char* name) { return mkfifo(name, 0666); }

struct TraceFileCase : NamedCase {
    const char* value;
    int (*plant)(const char* victim, const char* name);
    uid_t owner;         // of what was planted, when not 0
    const char* logged;  // the debug log's line, WORK for work(); or null
};

using TraceFileTest = TableTest<TraceTest, TraceFileCase>;

// Whatever stands at the name, and whether or not the trace can be written,
// every call answers and leaves errno as it would without a trace, and
// nothing planted is written. Another owner's file would have been filled
// by a root process; the FIFO's reader goes after the first record.
TEST_P(TraceFileTest, CallsWorkAndNothingPlantedIsWritten) {
    const TraceFileCase& c = GetParam();
    const std::string victim = root().write("victim", "precious\n"), trace = work() + "/trace.txt";
    if (c.owner != 0 && geteuid() != 0) GTEST_SKIP() << "needs root to plant another's file";
    ASSERT_EQ(c.plant(victim.c_str(), trace.c_str()), 0);
    ASSERT_EQ(c.owner != 0 ? chown(trace.c_str(), c.owner, c.owner) : 0, 0);
    const int reader = c.plant == Fifo ? open(trace.c_str(), O_RDONLY | O_NONBLOCK) : -1;
    environment().set("TRELVOTRACE", c.value);
    FakeVelt_SetErrno(E2BIG);
    const FrontEndExports& api = LoadFrontEnd();
    errno = 0;
    EXPECT_EQ(api.VELT_Connect(nullptr), 0u);
    EXPECT_EQ(errno, E2BIG);
    if (reader >= 0) close(reader);
    errno = 0;
    EXPECT_EQ(api.VELT_ConnectSingleton(nullptr, 1), 0u);
    EXPECT_EQ(errno, E2BIG);
    EXPECT_STREQ(api.Trelvo_GetVeltApiImplementationPath(), m_fake.c_str());
    EXPECT_EQ(api.VELT_Disconnect(), 0u);
    m_frontEnd->close();
    EXPECT_EQ(FakeVelt_CallCount(), 3);
    EXPECT_EQ(ReadFile(victim), "precious\n");
    EXPECT_TRUE(c.plant != Nothing || std::filesystem::is_empty(work()));
    EXPECT_TRUE(c.plant != EmptyFile || ReadFile(trace) == "");
    EXPECT_EQ(CountLogLines("Cannot "), c.logged != nullptr ? 1 : 0);
    if (c.logged != nullptr) {
        EXPECT_EQ(CountLogLines(std::regex_replace(c.logged, std::regex("WORK"), work())), 1);
    }
}

#define TRELVO_REFUSED(reason) R"(Cannot trace calls to "WORK/trace.txt": )" reason
constexpr uid_t kNobody = 65534;
// clang-format off
INSTANTIATE_TEST_SUITE_P(Values, TraceFileTest, ::testing::Values(
    TraceFileCase{{"Empty"}, "", Nothing, 0, nullptr},
    TraceFileCase{{"MissingDirectory"}, "missing/trace.txt", Nothing, 0,
                  R"(Cannot trace calls to "WORK/missing/trace.txt": No such file or directory)"},
    TraceFileCase{{"SymbolicLink"}, "trace.txt", symlink, 0,
                  TRELVO_REFUSED("a symbolic link is in its place, which is never followed")},
    TraceFileCase{{"HardLink"}, "trace.txt", link, 0, TRELVO_REFUSED("it has more than one link")},
    TraceFileCase{{"OthersFile"}, "trace.txt", EmptyFile, kNobody,
                  TRELVO_REFUSED("it belongs to another user")},
    TraceFileCase{{"OthersFifo"}, "trace.txt", Fifo, kNobody,
                  TRELVO_REFUSED("it belongs to another user")},
    TraceFileCase{{"FifoReaderGone"}, "trace.txt", Fifo, 0,
                  R"(Cannot write the call trace to "WORK/trace.txt": Broken pipe)"}),
    CaseName());
// clang-format on
#undef TRELVO_REFUSED

struct TextCase : NamedCase {
    const char* bytes;
    const char* shown;  // as JSON gives it back; null: a long text, cut
};

using QuotedTextTest = TableTest<TraceTest, TextCase>;

// Ill-formed UTF-8 becomes one U+FFFD per maximal subpart; a text too long
// for one record is cut at a character boundary, with a mark.
TEST_P(QuotedTextTest, RecordShowsWellFormedUtf8) {
    const std::string trace = TraceTo("trace.json");
    std::string path = GetParam().bytes;
    for (int i = 0; GetParam().shown == nullptr && i < 3000; ++i) path += "\xC3\xA9";
    EXPECT_EQ(LoadFrontEnd().Trelvo_SetVeltApiImplementationPath(path.c_str()),
              TRELVO_E_PATH_NOT_LOADABLE);
    m_frontEnd->close();
    const Json events = JsonTrace(trace);
    ASSERT_TRUE(events.is_array()) << ReadFile(trace).value_or("");
    const std::string shown = events.back()["args"]["path"];
    if (GetParam().shown != nullptr) {
        EXPECT_EQ(shown, GetParam().shown);
        return;
    }
    const std::string mark = "\xE2\x80\xA6[cut]";
    ASSERT_GT(shown.size(), mark.size());
    EXPECT_EQ(shown.substr(shown.size() - mark.size()), mark);
    EXPECT_EQ(path.rfind(shown.substr(0, shown.size() - mark.size()), 0), 0u);
    for (const std::string& line : ReadLines(trace)) EXPECT_LE(line.size() + 1, size_t{PIPE_BUF});
}

#define TRELVO_FFFD "\xEF\xBF\xBD"
#define TRELVO_FFFD3 TRELVO_FFFD TRELVO_FFFD TRELVO_FFFD
// clang-format off
INSTANTIATE_TEST_SUITE_P(Texts, QuotedTextTest, ::testing::Values(
    TextCase{{"Surrogate"}, "\xC3\xA9\xED\xA0\x80z", "\xC3\xA9" TRELVO_FFFD3 "z"},
    TextCase{{"Overlong"}, "a\xE0\x80\xAF\xF0\x80\x80z", "a" TRELVO_FFFD3 TRELVO_FFFD3 "z"},
    TextCase{{"AboveMaximum"}, "\xF4\x90\x80\x80\xF0\x9F\x98\x80",
             TRELVO_FFFD TRELVO_FFFD3 "\xF0\x9F\x98\x80"},
    TextCase{{"Truncated"}, "\xE2\x82\x41\xE2\x82", TRELVO_FFFD "A" TRELVO_FFFD},
    TextCase{{"Long"}, "", nullptr}),
    CaseName());
// clang-format on
#undef TRELVO_FFFD3
#undef TRELVO_FFFD

}  // namespace
}  // namespace TrelvoTest
