// Whole downloads: the real converter, the engine and the simulated
// instrument on a pseudo-terminal, with the faults it can inject.
#include "loader/engine/downloader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "loader/engine/trace.h"
#include "tests/loader/engine/line_fixtures.h"
#include "tests/loader/support/simulated_instrument.h"
#include "tests/support/test_support.h"
#include "tools/coff_builder/coff_builder.h"

namespace {

using namespace std::chrono_literals;
using engine_test::TraceCapture;
using flashup::Downloader;
using test_support::ScratchDir;
using test_support::SimulatedInstrument;
namespace fs = std::filesystem;

class RecordingListener final : public flashup::DownloadListener {
  public:
    void downloadProgress(uint32_t percent) override { progress.push_back(percent); }
    void downloadFinished(bool sent) override {
        finished = true;
        goSent = sent;
    }
    std::vector<uint32_t> progress;
    bool finished = false;
    bool goSent = false;
};

coff_builder::CoffImage two_words_at_0x80() {
    coff_builder::CoffImage image;
    image.sections.push_back(
        coff_builder::Section{.name = ".text", .virtual_address = 0x80, .words = {0x1278, 0x349A}});
    return image;
}

// A working directory as the loader finds it: the firmware and the
// converter side by side.
class DownloadTest : public ::testing::Test {
  protected:
    void prepare(const coff_builder::CoffImage& firmware, bool with_converter = true) {
        coff_builder::write_file("fw417.out", firmware);
        if (with_converter) fs::copy_file(ROMCVT_PATH, "romcvt");
    }
    bool temporaryFilesGone() const { return !fs::exists("LSB.tmp") && !fs::exists("MSB.tmp"); }
    static bool contains(const std::vector<std::string>& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    ScratchDir dir;
    TraceCapture trace;
};

TEST_F(DownloadTest, SampleFirmwareArrivesWordForWord) {
    prepare(coff_builder::sample_firmware());
    SimulatedInstrument instrument(dir.path());
    RecordingListener listener;
    {
        Downloader downloader;
        ASSERT_EQ(downloader.result(), flashup::kResultSuccess);
        EXPECT_EQ(downloader.compatibility(), coff_builder::kSampleCompatibilityWord);
        downloader.setPortName(instrument.portPath());
        EXPECT_TRUE(downloader.download(listener));
        EXPECT_EQ(downloader.result(), flashup::kResultSuccess);
        EXPECT_STREQ(downloader.resultText(), "Download successful.");
        EXPECT_TRUE(fs::exists("LSB.tmp")) << "kept while the downloader lives";
    }
    EXPECT_TRUE(temporaryFilesGone());
    EXPECT_EQ(instrument.wait(10s), 0);
    EXPECT_EQ(instrument.image(), coff_builder::sample_firmware_page0_words());

    std::vector<std::string> log = instrument.logLines();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], "modbus read register=6 count=1");
    EXPECT_EQ(log[1], "modbus write register=257 value=1");
    EXPECT_EQ(log[2], "loader mode");
    EXPECT_EQ(log.back(), "image words=" + std::to_string(instrument.image().size()));

    ASSERT_GE(listener.progress.size(), 2u);
    EXPECT_TRUE(std::is_sorted(listener.progress.begin(), listener.progress.end()));
    EXPECT_EQ(listener.progress.back(), 100u);
    EXPECT_LT(listener.progress[listener.progress.size() - 2], 100u);
    EXPECT_TRUE(listener.finished && listener.goSent);
}

TEST_F(DownloadTest, SectorOfTheWorkedExampleIsSentAsSpecified) {
    prepare(two_words_at_0x80());
    SimulatedInstrument instrument(dir.path());
    Downloader downloader;
    downloader.setPortName(instrument.portPath());
    RecordingListener listener;
    ASSERT_TRUE(downloader.download(listener));
    EXPECT_EQ(instrument.wait(10s), 0);
    EXPECT_TRUE(contains(instrument.logLines(),
                         "sector 1 address=0x00000080 words=2 sum=ok compatibility=0x1278 "
                         "answer=G"));
    EXPECT_EQ(instrument.image(), (std::map<uint32_t, uint16_t>{{0x80, 0x1278}, {0x81, 0x349A}}));
}

TEST_F(DownloadTest, RefusedTwiceThenAcceptedCountsAsAccepted) {
    prepare(two_words_at_0x80());
    SimulatedInstrument instrument(dir.path(), {"--refuse-first", "2"});
    Downloader downloader;
    downloader.setPortName(instrument.portPath());
    RecordingListener listener;
    ASSERT_TRUE(downloader.download(listener));
    EXPECT_EQ(downloader.result(), flashup::kResultSuccess);
    EXPECT_EQ(instrument.wait(10s), 0);
    std::string text = trace.text();
    EXPECT_NE(text.find("Sending sector number 1, try 3 (7 words)\n"), std::string::npos) << text;
    EXPECT_NE(
        text.find("ERROR : The sector has not been correctly received by the remote device\n"),
        std::string::npos);
    EXPECT_NE(text.find("The sector has been correctly received by the remote device\n"),
              std::string::npos);
}

// The one slow test: three tries of ten one-second answer reads each.
TEST_F(DownloadTest, SilentInstrumentFailsAfterThreeTries) {
    prepare(two_words_at_0x80());
    SimulatedInstrument instrument(dir.path(), {"--silent-loader"});
    {
        Downloader downloader;
        downloader.setPortName(instrument.portPath());
        RecordingListener listener;
        EXPECT_FALSE(downloader.download(listener));
        EXPECT_EQ(downloader.result(), flashup::kResultSectorRefused);
        EXPECT_TRUE(listener.progress.empty()) << "no progress, no GO";
        EXPECT_NE(trace.text().find("Download failed : max number of tries reached\n"),
                  std::string::npos);
    }
    EXPECT_TRUE(temporaryFilesGone());
}

TEST_F(DownloadTest, CancelWhileWaitingForTheAnswerEndsWithinOneRead) {
    prepare(two_words_at_0x80());
    SimulatedInstrument instrument(dir.path(), {"--silent-loader"});
    {
        Downloader downloader;
        downloader.setPortName(instrument.portPath());
        RecordingListener listener;
        std::chrono::steady_clock::time_point cancelled_at;
        std::thread canceller([&] {
            while (trace.text().find("Sending sector number 1") == std::string::npos) {
                std::this_thread::sleep_for(10ms);
            }
            std::this_thread::sleep_for(300ms);
            cancelled_at = std::chrono::steady_clock::now();
            downloader.cancelEvent().signal();
        });
        EXPECT_FALSE(downloader.download(listener));
        auto ended_at = std::chrono::steady_clock::now();
        canceller.join();
        EXPECT_EQ(downloader.result(), flashup::kResultCancelled);
        EXPECT_STREQ(downloader.resultText(), "Download canceled by user.");
        EXPECT_LT(ended_at - cancelled_at, 1500ms);
        EXPECT_TRUE(listener.progress.empty());
        EXPECT_TRUE(downloader.cancelEvent().isSignalled()) << "testing never consumes it";
    }
    EXPECT_TRUE(temporaryFilesGone());
}

TEST_F(DownloadTest, PortThatDoesNotExist) {
    prepare(two_words_at_0x80());
    {
        Downloader downloader;
        downloader.setPortName(dir.path().string() + "/no-such-port");
        RecordingListener listener;
        EXPECT_FALSE(downloader.download(listener));
        EXPECT_EQ(downloader.result(), flashup::kResultPortFailed);
        EXPECT_STREQ(downloader.resultText(), "ERROR : Unable to open serial port.");
        EXPECT_TRUE(listener.finished);
    }
    EXPECT_TRUE(temporaryFilesGone());
}

TEST_F(DownloadTest, MissingImagesNeverTouchTheLine) {
    prepare(two_words_at_0x80(), /*with_converter=*/false);
    SimulatedInstrument instrument(dir.path());
    Downloader downloader;
    EXPECT_EQ(downloader.result(), flashup::kResultImageFailed);
    EXPECT_EQ(downloader.compatibility(), 0xFFFF);
    downloader.setPortName(instrument.portPath());
    RecordingListener listener;
    EXPECT_FALSE(downloader.download(listener));
    EXPECT_EQ(downloader.result(), flashup::kResultImageFailed);
    EXPECT_TRUE(instrument.logLines().empty());
}

// A contiguous block of more words than a sector holds is written by the
// converter as one record; it is refused before the handshake.
TEST_F(DownloadTest, ImageWithAnOversizedSectorIsRefusedBeforeTheHandshake) {
    coff_builder::CoffImage firmware;
    firmware.sections.push_back(coff_builder::Section{
        .name = ".text", .virtual_address = 0x80, .words = coff_builder::ramp_words(32000)});
    prepare(firmware);
    SimulatedInstrument instrument(dir.path());
    {
        Downloader downloader;
        EXPECT_EQ(downloader.result(), flashup::kResultImageFailed);
        downloader.setPortName(instrument.portPath());
        RecordingListener listener;
        EXPECT_FALSE(downloader.download(listener));
    }
    EXPECT_TRUE(instrument.logLines().empty());
    EXPECT_NE(trace.text().find("Image files refused: sector larger than 31995 words"),
              std::string::npos);
    EXPECT_TRUE(temporaryFilesGone());
}

TEST_F(DownloadTest, InstrumentHangingUpMidDownloadFailsTheDownload) {
    coff_builder::CoffImage firmware = two_words_at_0x80();
    firmware.sections.push_back(
        coff_builder::Section{.name = ".more", .virtual_address = 0x1000, .words = {1, 2, 3}});
    prepare(firmware);
    SimulatedInstrument instrument(dir.path(), {"--hangup-after", "1"});
    Downloader downloader;
    downloader.setPortName(instrument.portPath());
    RecordingListener listener;
    EXPECT_FALSE(downloader.download(listener));
    EXPECT_EQ(downloader.result(), flashup::kResultSectorRefused);
    EXPECT_EQ(instrument.wait(5s), 3);
}

}  // namespace
