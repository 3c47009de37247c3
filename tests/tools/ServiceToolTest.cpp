// norn-service as a separate process: each test works on its own instrument directory.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "support/TempDirectory.h"

namespace {

using norn::test::CTempDirectory;

struct CToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The lines of `text` that start with `prefix`.
std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    }
    return lines;
}

class ServiceToolTest : public ::testing::Test {
protected:
    std::string Instrument() const { return m_directory.Path() + "/instrument"; }
    std::string StatePath() const { return Instrument() + "/instrument.state"; }

    // Runs the tool on this test's instrument; `arguments` are shell words, `input` goes to stdin.
    CToolRun Run(const std::string& arguments, const std::string& input = "") const {
        const std::string inputFile = m_directory.Path() + "/stdin";
        const std::string errorFile = m_directory.Path() + "/stderr";
        CTempDirectory::WriteFile(inputFile, input);
        const std::string command = std::string(NORN_SERVICE_TOOL) + " --instrument " +
                                    Instrument() + " " + arguments + " <" + inputFile + " 2>" +
                                    errorFile;
        CToolRun run;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) return run;
        char chunk[4096];
        for (size_t n; (n = fread(chunk, 1, sizeof(chunk), pipe)) > 0;) run.out.append(chunk, n);
        const int status = pclose(pipe);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.err = ReadFile(errorFile);
        return run;
    }
    // The identity and block lines of `status`, without the files line.
    std::vector<std::string> InstrumentLines(const std::string& statusOutput) const {
        std::vector<std::string> lines;
        for (const char* prefix : {"serial", "material", "dds", "mac", "  payload"}) {
            for (auto& line : LinesStartingWith(statusOutput, prefix)) lines.push_back(line);
        }
        return lines;
    }

    CTempDirectory m_directory{"norn-tool"};
};

TEST_F(ServiceToolTest, DemoErasesAndRestoresWhatItBackedUp) {
    const CToolRun before = Run("status");
    ASSERT_EQ(before.exitCode, 0) << before.err;
    const std::string stateBefore = ReadFile(StatePath());

    const CToolRun demo = Run("demo");
    EXPECT_EQ(demo.exitCode, 0) << demo.out << demo.err;
    EXPECT_EQ(LinesStartingWith(demo.out, "  payload  erased").size(), 2u) << demo.out;
    EXPECT_EQ(LinesStartingWith(demo.out, "host: added SerialNo=\"SN12345678\"").size(), 1u);
    EXPECT_EQ(LinesStartingWith(demo.out, "== step 6 status: ok").size(), 1u);

    const CToolRun after = Run("status");
    ASSERT_EQ(after.exitCode, 0);
    EXPECT_EQ(InstrumentLines(after.out), InstrumentLines(before.out));
    EXPECT_EQ(InstrumentLines(after.out).size(), 6u);
    EXPECT_EQ(ReadFile(StatePath()), stateBefore);
}

TEST_F(ServiceToolTest, CommittedChangesSurviveBetweenRunsAndUncommittedOnesDoNot) {
    ASSERT_EQ(Run("serial SN55555555").exitCode, 0);
    const CToolRun serial = Run("serial");
    EXPECT_EQ(serial.exitCode, 0);
    EXPECT_EQ(serial.out, "serial SN55555555\n");

    const std::string payload = m_directory.Path() + "/payload.bin";
    CTempDirectory::WriteFile(payload, "NEW-PAYLOAD");
    EXPECT_EQ(Run("--fault SetEEPROMMode=status:3 dds import " + payload).exitCode, 1);
    EXPECT_EQ(Run("status").out.find("4e45572d5041594c4f4144"), std::string::npos);
    EXPECT_EQ(Run("batch dds=" + payload + " mac=de:ad:be:ef").exitCode, 0);
    const CToolRun status = Run("--json status");
    EXPECT_NE(status.out.find("\"length\":11,\"payload\":\"4e45572d5041594c4f4144\""),
              std::string::npos)
        << status.out;
    EXPECT_NE(status.out.find("\"payload\":\"de:ad:be:ef:a5"), std::string::npos);
}

TEST_F(ServiceToolTest, DriverFaultFailsBackupAndItsReportIsPrintedAndLogged) {
    const CToolRun backup = Run("--fault PrepareRead=status:1 backup");
    EXPECT_EQ(backup.exitCode, 1);
    const auto reports = LinesStartingWith(backup.out, "report: F3 ");
    ASSERT_EQ(reports.size(), 1u) << backup.out;
    EXPECT_NE(reports[0].find("line 3514"), std::string::npos);
    EXPECT_NE(Run("log").out.find("backup: report F3 E_FAIL (0x80004005) Brightwork line 3514"),
              std::string::npos);

    const CToolRun fallback = Run("--no-error-manager --fault PrepareRead=status:1 --json backup");
    EXPECT_EQ(fallback.exitCode, 1);
    EXPECT_NE(fallback.out.find("\"reports\":[],\"events\":[\"Tarvo_Orm\\tERROR\\t0\\tError in "
                                "Brightwork (Line 3514)\"]"),
              std::string::npos)
        << fallback.out;
}

TEST_F(ServiceToolTest, BadInputExitsTwoWithoutTouchingTheInstrument) {
    const std::string big = m_directory.Path() + "/big.dds";
    CTempDirectory::WriteFile(big, std::string(1349, 'x'));
    const std::string mac17 = "01:02:03:04:05:06:07:08:09:0a:0b:0c:0d:0e:0f:10:11";
    const std::vector<std::string> badRuns = {"frobnicate",
                                              "--frob status",
                                              "mac import " + mac17,
                                              "dds import " + big,
                                              "dds import /nonexistent/file",
                                              "--fault ReadBlock=hr:0 status",
                                              "--fault Nope=null status",
                                              "serial A B",
                                              "batch dds",
                                              "mac import 01:0g",
                                              "--module /nonexistent status"};
    for (const auto& arguments : badRuns) {
        const CToolRun run = Run(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments;
        EXPECT_EQ(LinesStartingWith(run.err, "norn-service: ").size(), 1u) << run.err;
        EXPECT_FALSE(std::filesystem::exists(Instrument())) << arguments;
    }
    ASSERT_EQ(Run("status").exitCode, 0);
    const std::string state = ReadFile(StatePath());
    EXPECT_EQ(Run("mac import " + mac17).exitCode, 2);
    EXPECT_EQ(Run("dds import " + big).exitCode, 2);
    EXPECT_EQ(ReadFile(StatePath()), state);
}

TEST_F(ServiceToolTest, EraseNeedsConfirmationAndALockedInstrumentIsRefused) {
    ASSERT_EQ(Run("backup").exitCode, 0);
    const std::string state = ReadFile(StatePath());
    const CToolRun refused = Run("erase", "n\n");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("not erased"), std::string::npos);
    EXPECT_EQ(ReadFile(StatePath()), state);
    EXPECT_TRUE(std::filesystem::exists(Instrument() + "/root/eeprom/xml/NornData.dds"));

    const int lock = open((Instrument() + "/.lock").c_str(), O_RDWR);
    ASSERT_EQ(flock(lock, LOCK_EX | LOCK_NB), 0);
    const CToolRun busy = Run("erase", "y\n");
    close(lock);
    EXPECT_EQ(busy.exitCode, 1);
    EXPECT_NE(busy.err.find("in use by another process"), std::string::npos);
    EXPECT_EQ(ReadFile(StatePath()), state);

    EXPECT_EQ(Run("erase", "y\n").exitCode, 0);
    EXPECT_NE(ReadFile(StatePath()), state);
    EXPECT_FALSE(std::filesystem::exists(Instrument() + "/root/eeprom/xml/NornData.dds"));
}

// Under AddressSanitizer a buffer that was not given back through entry 21 turns the failed
// export's exit status into the leak checker's.
TEST_F(ServiceToolTest, JsonEscapesTextAndExportsHandBackTheirBuffers) {
    ASSERT_EQ(Run("serial 'A\"B\\C'").exitCode, 0);
    EXPECT_EQ(Run("--json serial").out,
              "{\"command\":\"serial\",\"result\":0,\"reports\":[],\"events\":[],"
              "\"serial\":\"A\\\"B\\\\C\"}\n");
    ASSERT_EQ(Run("backup").exitCode, 0);
    const std::string exported = m_directory.Path() + "/out.dds";
    EXPECT_EQ(Run("dds export " + exported).exitCode, 0);
    EXPECT_EQ(ReadFile(exported), ReadFile(Instrument() + "/root/eeprom/xml/NornData.dds"));
    ASSERT_EQ(Run("mac import aa:bb:cc").exitCode, 0);
    const CToolRun mismatch = Run("mac export");
    EXPECT_EQ(mismatch.exitCode, 1) << mismatch.err;
    EXPECT_EQ(LinesStartingWith(mismatch.out, "report: D7 ").size(), 1u);
}

TEST_F(ServiceToolTest, FaultCallNumberHitsOnlyThatCall) {
    const CToolRun second = Run("--fault 'ReadBlock#2=hr:0x80004005' backup");
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_FALSE(LinesStartingWith(second.out, "report: ").empty());
    const CToolRun third = Run("--fault 'ReadBlock#3=hr:0x80004005' backup");
    EXPECT_EQ(third.exitCode, 0) << third.out;
    EXPECT_TRUE(LinesStartingWith(third.out, "report: ").empty());
}

TEST_F(ServiceToolTest, DamagedStateIsRefusedAndLeftAsItIs) {
    ASSERT_EQ(Run("status").exitCode, 0);
    std::string state = ReadFile(StatePath());
    state.replace(state.find("block 22002 "), 14, "block 22002 zz");
    CTempDirectory::WriteFile(StatePath(), state);
    const CToolRun run = Run("--yes erase");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("instrument.state"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(StatePath()), state);
    EXPECT_FALSE(std::filesystem::exists(StatePath() + ".tmp"));
}

}  // namespace
