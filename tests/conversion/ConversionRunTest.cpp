// A whole conversion through the real archive writer, seen from the front
// end's side: what is shown, in which order, and what is left on disk.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "conversion/RecordingUi.h"
#include "conversion/run/ConversionRun.h"
#include "conversion/run/PrepareConversion.h"
#include "platform/Exceptions.h"
#include "platform/TempDir.h"
#include "support/FileSizeLimit.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

class ConversionRun : public ::testing::Test {
  protected:
    void SetUp() override {
        request.sourcePath = scratch / "book.txt";
        test::WriteFile(request.sourcePath, "line one\r\nline two\r\nline three\r\n");
        request.fileSize = 32;
        request.labelName = "book";
        request.parts = 3;
        request.archiveName = scratch / "book.epub";
    }

    test::ScratchDir scratch;
    test::RecordingUi ui;
    TConversionRequest request;
};

TEST_F(ConversionRun, SuccessIsShownOnceAndNothingIsWrittenBesideTheBook) {
    const TConversionResult result = RunConversion(request, ui);
    EXPECT_TRUE(result) << result.Error().message;
    EXPECT_EQ(ui.results, std::vector<std::string>{"恭喜你，文件转换成功"});
    // The pages go from memory into the book: no file is written and read back.
    EXPECT_EQ(test::DirectoryNames(scratch.Path()),
              (std::vector<std::string>{"book.epub", "book.txt"}));
    EXPECT_EQ(test::Run("unzip -tq " + test::Quote(request.archiveName)).exitCode, 0);

    ASSERT_FALSE(ui.packPercents.empty());
    EXPECT_EQ(ui.packPercents.back(), 100);
    EXPECT_EQ(ui.pagePercents.back(), 100);
}

TEST_F(ConversionRun, TooManyPartsWarnFirstThenFail) {
    request.parts = 32;
    const TConversionResult result = RunConversion(request, ui);
    ASSERT_FALSE(result);
    ASSERT_EQ(ui.warnings.size(), 1u);
    EXPECT_EQ(ui.warnings[0].second, "文件大小小于或等于分割数");
    // The reason under the fixed text, as the command line prints it.
    const std::string& reason = result.Error().message;
    EXPECT_EQ(ui.results, std::vector<std::string>{"灰常遗憾，未能转换成功\n" + reason});
    EXPECT_EQ(reason, ui.warnings[0].second);
    EXPECT_FALSE(test::Exists(request.archiveName));
}

TEST_F(ConversionRun, ArchiveThatCannotBeWrittenFailsWithTheWritersReason) {
    request.archiveName = scratch / "no/such/dir/book.epub";
    const TConversionResult result = RunConversion(request, ui);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.Error().kind, TRunError::Kind::Failed);
    EXPECT_EQ(ui.results, std::vector<std::string>{FailedBoxText(result.Error().message)});
    EXPECT_NE(result.Error().message.find("book.epub"), std::string::npos);
    EXPECT_TRUE(ui.warnings.empty());
}

TEST_F(ConversionRun, AFullDiskFailsTheRunAndLeavesNoTornBook) {
    // The first archive records fit, the pages do not.
    {
        test::FileSizeLimit limit(300);
        const TConversionResult result = RunConversion(request, ui);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.Error().message, "Not enough room to write archive");
    }
    EXPECT_FALSE(test::Exists(request.archiveName));
    EXPECT_EQ(ui.results.size(), 1u);
}

TEST_F(ConversionRun, ATemporaryDirectoryInTheWayDoesNotMatter) {
    // Where the book's files were once laid out on disk: the program's
    // private temporary directory.
    const std::string staging = TempDirPath() + "EPUB";
    test::WriteFile(staging, "in the way");
    const TConversionResult result = RunConversion(request, ui);
    EXPECT_TRUE(result) << result.Error().message;
    EXPECT_EQ(test::ReadFile(staging), "in the way");
    std::remove(staging.c_str());
}

TEST_F(ConversionRun, AStopRequestEndsEitherPhaseWithoutABook) {
    // Asked while pages are written, the run stops there; asked while the
    // book is packed, the archive writer hears the same control and stops.
    for (const TConversionPhase phase : {TConversionPhase::Pages, TConversionPhase::Packing}) {
        test::RecordingUi stopping;
        stopping.onProgress = [&](TConversionPhase at) {
            if (at == phase) stopping.Control().RequestCancel();
        };
        const TConversionResult result = RunConversion(request, stopping);
        ASSERT_FALSE(result);
        EXPECT_EQ(result.Error().kind, TRunError::Kind::Canceled);
        EXPECT_FALSE(result.Error().message.empty());
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
    using Kind = TRunError::Kind;
    const struct {
        std::string file;
        std::optional<Kind> refusal;
        const char* reasonPart;
    } cases[] = {
        {"书.txt", std::nullopt, ""},
        {"book.TXT", Kind::NotTxt, "not a .txt file"},
        {"pipe.txt", Kind::NamedPipe, "named pipe"},
        {"missing.txt", Kind::Unreadable, "missing.txt"},
    };
    for (const auto& c : cases) {
        TConversionInput input;
        input.sourcePath = scratch / c.file;
        input.title = "标题";
        input.parts = 7;
        const TRunResult<TConversionRequest> request = PrepareConversion(input);
        if (c.refusal) {
            ASSERT_FALSE(request) << c.file;
            EXPECT_EQ(request.Error().kind, *c.refusal) << c.file;
            EXPECT_NE(request.Error().message.find(c.reasonPart), std::string::npos)
                << request.Error().message;
            continue;
        }
        ASSERT_TRUE(request) << request.Error().message;
        EXPECT_EQ(request->fileSize, 1500);
        EXPECT_EQ(request->sourceSize, 1500);
        EXPECT_EQ(request->labelName, test::Hex("CA E9"));
        EXPECT_EQ(request->title, "标题");
        EXPECT_EQ(request->parts, 7);
        // The window's size, recorded when it listed the file, holds.
        input.listedSize = 12;
        const TRunResult<TConversionRequest> listed = PrepareConversion(input);
        ASSERT_TRUE(listed);
        EXPECT_EQ(listed->fileSize, 12);
    }
}

}  // namespace
}  // namespace qm
