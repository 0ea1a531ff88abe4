// A whole conversion through the real archive writer, seen from the front
// end's side: what is shown, in which order, and what is left on disk.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include "conversion/RecordingUi.h"
#include "conversion/run/ConversionRun.h"
#include "conversion/run/PrepareConversion.h"
#include "platform/Exceptions.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

// Lets the process write files only up to a size, as a full disk would.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

  private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

class ConversionRun : public ::testing::Test {
  protected:
    void SetUp() override {
        request.sourcePath = scratch / "book.txt";
        test::WriteFile(request.sourcePath, "line one\r\nline two\r\nline three\r\n");
        request.fileSize = 32;
        request.labelName = "book";
        request.parts = 3;
        request.archiveName = scratch / "book.epub";
        test::MakeDirs(tempDir());
    }
    std::string tempDir() const { return scratch / "tmp/"; }

    test::ScratchDir scratch;
    test::RecordingUi ui;
    TConversionRequest request;
};

TEST_F(ConversionRun, SuccessIsShownOnceAndNothingIsWrittenBesideTheBook) {
    const TConversionResult result = RunConversion(request, ui, tempDir());
    EXPECT_TRUE(result.success) << result.reason;
    EXPECT_EQ(result.resultText, "恭喜你，文件转换成功");
    EXPECT_EQ(result.reason, "");
    EXPECT_EQ(ui.results, std::vector<std::string>{"恭喜你，文件转换成功"});
    // The pages go from memory into the book: no file is written and read back.
    EXPECT_EQ(test::Run("find " + test::Quote(tempDir()) + " -mindepth 1").out, "");
    EXPECT_EQ(test::Run("unzip -tq " + test::Quote(request.archiveName)).exitCode, 0);

    ASSERT_FALSE(ui.packPercents.empty());
    EXPECT_EQ(ui.packPercents.back(), 100);
    EXPECT_EQ(ui.pagePercents.back(), 100);
}

TEST_F(ConversionRun, TooManyPartsWarnFirstThenFail) {
    request.parts = 32;
    const TConversionResult result = RunConversion(request, ui, tempDir());
    EXPECT_FALSE(result.success);
    ASSERT_EQ(ui.warnings.size(), 1u);
    // The reason under the fixed text, as the command line prints it.
    EXPECT_EQ(ui.results, std::vector<std::string>{"灰常遗憾，未能转换成功\n" + result.reason});
    EXPECT_EQ(result.reason, ui.warnings[0].second);
    EXPECT_FALSE(test::Exists(request.archiveName));
}

TEST_F(ConversionRun, ArchiveThatCannotBeWrittenFailsWithTheWritersReason) {
    request.archiveName = scratch / "no/such/dir/book.epub";
    const TConversionResult result = RunConversion(request, ui, tempDir());
    EXPECT_FALSE(result.success);
    EXPECT_EQ(result.resultText, "灰常遗憾，未能转换成功");
    EXPECT_NE(result.reason.find("book.epub"), std::string::npos) << result.reason;
    EXPECT_TRUE(ui.warnings.empty());
}

TEST_F(ConversionRun, AFullDiskFailsTheRunAndLeavesNoTornBook) {
    // The first archive records fit, the pages do not.
    {
        FileSizeLimit limit(300);
        const TConversionResult result = RunConversion(request, ui, tempDir());
        EXPECT_FALSE(result.success);
        EXPECT_EQ(result.reason, "Not enough room to write archive");
    }
    EXPECT_FALSE(test::Exists(request.archiveName));
    EXPECT_EQ(ui.results.size(), 1u);
}

TEST_F(ConversionRun, ATemporaryDirectoryInTheWayDoesNotMatter) {
    // Where the book's files were once laid out on disk.
    test::WriteFile(scratch / "tmp/EPUB", "in the way");
    const TConversionResult result = RunConversion(request, ui, tempDir());
    EXPECT_TRUE(result.success) << result.reason;
    EXPECT_EQ(test::ReadFile(scratch / "tmp/EPUB"), "in the way");
}

TEST_F(ConversionRun, WarningsComeBackInTheResult) {
    request.parts = 32;
    const TConversionResult result = RunConversion(request, ui, tempDir());
    EXPECT_EQ(result.warnings, std::vector<std::string>{"文件大小小于或等于分割数"});
}

TEST_F(ConversionRun, AStopRequestEndsEitherPhaseWithoutABook) {
    // Asked while pages are written, the run stops there; asked while the
    // book is packed, the archive writer hears the same control and stops.
    for (const TConversionPhase phase : {TConversionPhase::Pages, TConversionPhase::Packing}) {
        test::RecordingUi stopping;
        stopping.onProgress = [&](TConversionPhase at) {
            if (at == phase) stopping.Control().RequestCancel();
        };
        const TConversionResult result = RunConversion(request, stopping, tempDir());
        EXPECT_FALSE(result.success);
        EXPECT_FALSE(result.reason.empty());
        EXPECT_FALSE(test::Exists(request.archiveName));
    }
}

}  // namespace
}  // namespace qm

namespace qm {
namespace {

TEST(PrepareConversion, ChecksTheSourceOnceAndFillsTheRequest) {
    test::ScratchDir scratch;
    test::WriteFile(scratch / "书.txt", std::string(1500, 'x'));
    test::WriteFile(scratch / "book.TXT", "x");
    ASSERT_EQ(::mkfifo((scratch / "pipe.txt").c_str(), 0600), 0);
    const struct {
        std::string file;
        TSourceState state;
        const char* reasonPart;
    } cases[] = {
        {"书.txt", TSourceState::Readable, ""},
        {"book.TXT", TSourceState::NotTxt, "not a .txt file"},
        {"pipe.txt", TSourceState::NamedPipe, "named pipe"},
        {"missing.txt", TSourceState::Unreadable, "missing.txt"},
    };
    for (const auto& c : cases) {
        TConversionInput input;
        input.sourcePath = scratch / c.file;
        input.title = "标题";
        input.parts = 7;
        TConversionRequest request;
        std::string reason;
        EXPECT_EQ(PrepareConversion(input, request, reason), c.state) << c.file;
        EXPECT_NE(reason.find(c.reasonPart), std::string::npos) << reason;
        if (c.state != TSourceState::Readable) continue;
        EXPECT_EQ(request.fileSize, 1500);
        EXPECT_EQ(request.sourceSize, 1500);
        EXPECT_EQ(request.labelName, test::Hex("CA E9"));
        EXPECT_EQ(request.title, "标题");
        EXPECT_EQ(request.parts, 7);
        // The window's size, recorded when it listed the file, holds.
        input.listedSize = 12;
        PrepareConversion(input, request, reason);
        EXPECT_EQ(request.fileSize, 12);
    }
}

}  // namespace
}  // namespace qm
