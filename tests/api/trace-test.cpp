// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// The call trace, read back from its file: what each record shows, that no
// record is lost or torn, and that tracing off or failing changes no call.
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <future>
#include <regex>
#include <set>
#include <vector>

#include "FrontEnd.h"

namespace TrelvoTest {
namespace {

using Json = nlohmann::json;

// NAME(ARGUMENTS) = RESULT  DURATION us  pid P tid T  TIMESTAMP; the part
// before the duration is the first group.
const std::regex kTextRecord(
    R"((.*\S)  \d+\.\d{3} us  pid (\d+) tid (\d+)  \d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{6}Z)");
// # NAME  calls N  failures F  total T us  mean M us  max X us; the part
// before the total is the first group.
const std::regex kSummaryLine(R"((# \w+  calls \d+  failures \d+)  total \d+\.\d{3} us  mean )"
                              R"(\d+\.\d{3} us  max \d+\.\d{3} us)");

std::string Hex(const void* pointer) {
    char text[32];
    snprintf(text, sizeof text, "%p", pointer);
    return text;
}

class TraceTest : public FrontEndTest {
protected:
    TraceTest() : m_fake(PlaceFake("complete", library())) {}

    // Traces into name, relative to the current directory work(); returns
    // the file's path for this process.
    std::string TraceTo(const std::string& name) {
        environment().set("TRELVOTRACE", name);
        return work() + "/" + std::regex_replace(name, std::regex("%p"), std::to_string(getpid()));
    }

    // The first groups of the text records and the summary's lines.
    static std::vector<std::string> TextRecords(const std::string& path) {
        std::vector<std::string> records;
        for (const std::string& line : ReadLines(path)) {
            std::smatch match;
            EXPECT_TRUE(std::regex_match(line, match, kTextRecord) ||
                        std::regex_match(line, match, kSummaryLine))
                << line;
            records.push_back(match[1].str());
        }
        return records;
    }

    static Json JsonTrace(const std::string& path, const std::string& appended = "") {
        return Json::parse(ReadFile(path).value_or("") + appended, nullptr, false);
    }

    static int CountLines(const std::string& path, const std::string& start) {
        const std::vector<std::string> lines = ReadLines(path);
        return static_cast<int>(
            std::count_if(lines.begin(), lines.end(),
                          [&](const std::string& line) { return line.rfind(start, 0) == 0; }));
    }

    // Finds nothing, loads, unloads on the path setter (status 3), loads
    // again, and unloads on the last client; then the front end goes.
    void MakeCalls() {
        const FrontEndExports& api = LoadFrontEnd();
        const std::string aside = m_fake + ".aside";
        ASSERT_EQ(rename(m_fake.c_str(), aside.c_str()), 0);
        EXPECT_EQ(api.VELT_GetService(7, nullptr), TRELVO_E_IMPLEMENTATION_UNAVAILABLE);
        ASSERT_EQ(rename(aside.c_str(), m_fake.c_str()), 0);
        FakeVelt_SetConnectionStatus(3);
        FakeVelt_SetLastClient(1);
        FakeVelt_SetErrorMessage("say \"hi\"\n");
        EXPECT_EQ(api.VELT_Disconnect(), TRELVO_E_NOT_LOADED);
        EXPECT_EQ(api.VELT_ConnectWithURI(reinterpret_cast<VeltArg>(0x1234), nullptr), 0u);
        EXPECT_EQ(api.VELT_GetService(7, nullptr), 0u);
        EXPECT_EQ(api.VELT_GetConnectionStatus(&m_status), 0u);
        EXPECT_STREQ(api.VELT_GetLastErrorMessage(0), "say \"hi\"\n");
        EXPECT_EQ(api.Trelvo_SetVeltApiImplementationPath(m_fake.c_str()), 0u);
        EXPECT_STREQ(api.Trelvo_GetVeltApiImplementationPath(), m_fake.c_str());
        EXPECT_EQ(api.VELT_GetConnectionStatus(nullptr), 0u);
        EXPECT_EQ(api.VELT_DisconnectIfLastClient(&m_lastClient), 0u);
        m_frontEnd->close();
    }

    const std::string m_fake;
    uint32_t m_status = 0;
    uint32_t m_lastClient = 0;
};

// An earlier run's file is emptied first.
TEST_F(TraceTest, TextShowsEachCallAndEndsWithTheSummary) {
    const std::string trace = TraceTo("trace.txt");
    root().write("work/trace.txt", "an earlier run's trace\n");
    MakeCalls();

    const std::string fake = "\"" + m_fake + "\"";
    EXPECT_EQ(
        TextRecords(trace),
        (std::vector<std::string>{
            "VELT_GetService(7, null) = 0x8000000e TRELVO_E_IMPLEMENTATION_UNAVAILABLE",
            "VELT_Disconnect() = 0x80000007 TRELVO_E_NOT_LOADED",
            "-- loaded " + fake,
            "VELT_ConnectWithURI(0x1234, null) = 0x00000000",
            "VELT_GetService(7, null) = 0x00000000",
            "VELT_GetConnectionStatus(" + Hex(&m_status) + " -> 3) = 0x00000000",
            R"(VELT_GetLastErrorMessage(0) = "say \"hi\"\u000a")",
            "-- unloaded " + fake,
            "Trelvo_SetVeltApiImplementationPath(" + fake +
                ") = 0x00000000 [by the front end: VELT_GetConnectionStatus(-> 3) = 0x00000000]",
            "Trelvo_GetVeltApiImplementationPath() = " + fake,
            "-- loaded " + fake,
            "VELT_GetConnectionStatus(null) = 0x00000000",
            "-- unloaded " + fake,
            "VELT_DisconnectIfLastClient(" + Hex(&m_lastClient) + " -> 1) = 0x00000000",
            "# VELT_ConnectWithURI  calls 1  failures 0",
            "# VELT_GetConnectionStatus  calls 2  failures 0",
            "# VELT_Disconnect  calls 1  failures 1",
            "# VELT_DisconnectIfLastClient  calls 1  failures 0",
            "# VELT_GetService  calls 2  failures 1",
            "# VELT_GetLastErrorMessage  calls 1  failures 0",
            "# Trelvo_GetVeltApiImplementationPath  calls 1  failures 0",
            "# Trelvo_SetVeltApiImplementationPath  calls 1  failures 0",
        }));
}

TEST_F(TraceTest, JsonHoldsOneCompleteEventPerCall) {
    const std::string trace = TraceTo("trace.json");
    MakeCalls();

    const Json events = JsonTrace(trace);
    ASSERT_TRUE(events.is_array()) << ReadFile(trace).value_or("");
    const Json loaded = {{"name", "loaded"}, {"cat", "front end"}, {"args", {{"path", m_fake}}}};
    const Json unloaded = {
        {"name", "unloaded"}, {"cat", "front end"}, {"args", {{"path", m_fake}}}};
    const auto call = [](const char* name, Json args) {
        return Json{{"name", name}, {"cat", "call"}, {"args", args}};
    };
    const std::vector<Json> expected = {
        {{"name", "process_name"}, {"ph", "M"}, {"pid", getpid()}},
        call("VELT_GetService", {{"arg1", 7},
                                 {"arg2", nullptr},
                                 {"result", "0x8000000e"},
                                 {"resultName", "TRELVO_E_IMPLEMENTATION_UNAVAILABLE"}}),
        call("VELT_Disconnect", {{"result", "0x80000007"}, {"resultName", "TRELVO_E_NOT_LOADED"}}),
        loaded,
        call("VELT_ConnectWithURI",
             {{"arg1", "0x1234"}, {"arg2", nullptr}, {"result", "0x00000000"}}),
        call("VELT_GetService", {{"arg1", 7}, {"arg2", nullptr}, {"result", "0x00000000"}}),
        call("VELT_GetConnectionStatus",
             {{"status", Hex(&m_status)}, {"*status", 3}, {"result", "0x00000000"}}),
        call("VELT_GetLastErrorMessage", {{"arg1", 0}, {"result", "say \"hi\"\n"}}),
        unloaded,
        call("Trelvo_SetVeltApiImplementationPath",
             {{"path", m_fake},
              {"result", "0x00000000"},
              {"frontEndCall",
               {{"name", "VELT_GetConnectionStatus"}, {"result", "0x00000000"}, {"counter", 3}}}}),
        call("Trelvo_GetVeltApiImplementationPath", {{"result", m_fake}}),
        loaded,
        call("VELT_GetConnectionStatus",
             {{"status", nullptr}, {"*status", nullptr}, {"result", "0x00000000"}}),
        unloaded,
        call("VELT_DisconnectIfLastClient",
             {{"lastClient", Hex(&m_lastClient)}, {"*lastClient", 1}, {"result", "0x00000000"}}),
    };
    ASSERT_EQ(events.size(), expected.size()) << events.dump(1);
    const Json thisThread = {{"ph", "X"}, {"pid", getpid()}, {"tid", syscall(SYS_gettid)}};
    for (size_t i = 0; i < expected.size(); ++i) {
        Json want = expected[i];
        if (i > 0) want.update(thisThread);
        for (const auto& [key, value] : want.items()) EXPECT_EQ(events[i][key], value) << i;
        if (i > 0) {
            EXPECT_TRUE(events[i]["ts"].is_number() && events[i]["dur"].is_number());
        }
    }
}

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

    std::set<std::string> calls;
    for (const std::string& record : TextRecords(trace)) {
        if (record.rfind("VELT_GetService(", 0) == 0) calls.insert(record);
    }
    EXPECT_EQ(calls.size(), static_cast<size_t>(kThreads * kCallsPerThread));
    EXPECT_EQ(CountLines(trace, "VELT_GetService("), kThreads * kCallsPerThread);
    EXPECT_EQ(CountLines(trace, "# VELT_GetService  calls 4000  failures 0  total "), 1);
}

struct ChildEnd : NamedCase {
    const char* name;
    bool aborts;
};

using ChildTraceTest = TableTest<TraceTest, ChildEnd>;
constexpr int kChildCalls = 3;

// The child writes a file of its own, with its calls and nothing of its
// parent's: whole records up to a crash, and the summary or the closing
// bracket after a normal exit, with or without a disconnect.
TEST_P(ChildTraceTest, KeepsEveryRecordOfAChildThatEnds) {
    TraceTo(GetParam().name);
    const FrontEndExports& api = LoadFrontEnd();
    ASSERT_EQ(api.VELT_Connect(nullptr), 0u);
    const pid_t child = fork();
    if (child == 0) {
        for (int call = 0; call < kChildCalls; ++call) api.VELT_GetService(call, nullptr);
        if (GetParam().aborts) abort();
        exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(WIFSIGNALED(status), GetParam().aborts);
    const std::string trace =
        work() + "/" + std::regex_replace(GetParam().name, std::regex("%p"), std::to_string(child));
    if (std::string(GetParam().name).find(".json") == std::string::npos) {
        EXPECT_EQ(CountLines(trace, "VELT_GetService("), kChildCalls);
        EXPECT_EQ(CountLines(trace, "VELT_Connect("), 0);
        EXPECT_EQ(CountLines(trace, "# VELT_GetService  calls 3  failures 0"),
                  GetParam().aborts ? 0 : 1);
        return;
    }
    const Json events = JsonTrace(trace, GetParam().aborts ? "]" : "");
    ASSERT_TRUE(events.is_array()) << ReadFile(trace).value_or("");
    ASSERT_EQ(events.size(), 1u + kChildCalls);
    for (int call = 1; call <= kChildCalls; ++call) {
        EXPECT_EQ(events[call]["name"], "VELT_GetService");
        EXPECT_EQ(events[call]["pid"], child);
    }
}

INSTANTIATE_TEST_SUITE_P(Ends, ChildTraceTest,
                         ::testing::Values(ChildEnd{{"TextAbort"}, "trace-%p.txt", true},
                                           ChildEnd{{"TextExit"}, "trace-%p.txt", false},
                                           ChildEnd{{"JsonAbort"}, "trace-%p.json", true},
                                           ChildEnd{{"JsonExit"}, "trace-%p.json", false}),
                         CaseName());

struct NoTrace : NamedCase {
    const char* value;
    const char* logged;  // the debug log's line, WORK for work(); or null
};

using NoTraceTest = TableTest<TraceTest, NoTrace>;

// Without a trace, or with one that cannot be written, every call answers as
// it would with none, and no file appears.
TEST_P(NoTraceTest, CallsWorkAndNoFileAppears) {
    environment().set("TRELVOTRACE", GetParam().value);
    const FrontEndExports& api = LoadFrontEnd();
    EXPECT_EQ(api.VELT_Connect(nullptr), 0u);
    EXPECT_EQ(api.VELT_ConnectSingleton(nullptr, 1), 0u);
    EXPECT_STREQ(api.Trelvo_GetVeltApiImplementationPath(), m_fake.c_str());
    EXPECT_EQ(api.VELT_Disconnect(), 0u);
    m_frontEnd->close();
    EXPECT_EQ(FakeVelt_CallCount(), 3);
    EXPECT_TRUE(std::filesystem::is_empty(work()));
    EXPECT_EQ(CountLogLines("Cannot "), GetParam().logged != nullptr ? 1 : 0);
    if (GetParam().logged != nullptr) {
        EXPECT_EQ(CountLogLines(std::regex_replace(GetParam().logged, std::regex("WORK"), work())),
                  1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, NoTraceTest,
    ::testing::Values(
        NoTrace{{"Empty"}, "", nullptr},
        NoTrace{{"MissingDirectory"},
                "missing/trace.txt",
                R"(Cannot trace calls to "WORK/missing/trace.txt": No such file or directory)"},
        NoTrace{{"FullDevice"},
                "/dev/full",
                R"(Cannot write the call trace to "/dev/full": No space left on device)"}),
    CaseName());

// A link planted at the name is not followed: no trace, the file it points
// to stays as it was, and the call works all the same.
TEST_F(TraceTest, PlantedLinkIsNotFollowed) {
    const std::string victim = root().write("victim", "precious\n");
    const std::string trace = TraceTo("trace.txt");
    ASSERT_EQ(symlink(victim.c_str(), trace.c_str()), 0);
    EXPECT_EQ(LoadFrontEnd().VELT_Connect(nullptr), 0u);
    EXPECT_EQ(ReadFile(victim), "precious\n");
    EXPECT_EQ(CountLogLines("Cannot trace calls to \"" + trace + "\": "), 1);
}

}  // namespace
}  // namespace TrelvoTest
