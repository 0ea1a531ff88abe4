// A whole conversion through the real archive builder, seen from the front
// end's side: what is shown, in which order, and what is left on disk.
#include <gtest/gtest.h>

#include "conversion/ConversionRun.h"
#include "conversion/RecordingUi.h"
#include "conversion/StagingTree.h"
#include "platform/Exceptions.h"
#include "support/TestSupport.h"
#include "zip/ZipBuilder.h"

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
        test::MakeDirs(tempDir());
    }
    std::string tempDir() const { return scratch / "tmp/"; }

    test::ScratchDir scratch;
    test::RecordingUi ui;
    TZipBuilder zip;
    TConversionRequest request;
};

TEST_F(ConversionRun, SuccessIsShownWhileTheTreeExistsAndTheTreeGoesAfterwards) {
    bool treeWhileShown = false;
    ui.onResult = [&] { treeWhileShown = test::Exists(OebpsDir(tempDir()) + "/content.opf"); };
    int ownPercentCalls = 0;
    zip.OnTotalPercentDone = [&](TZipBuilder&, int32_t) { ++ownPercentCalls; };

    const TConversionResult result = RunConversion(request, ui, zip, tempDir());
    EXPECT_TRUE(result.success) << result.reason;
    EXPECT_EQ(result.resultText, "恭喜你，文件转换成功");
    EXPECT_EQ(result.reason, "");
    EXPECT_EQ(ui.results, std::vector<std::string>{"恭喜你，文件转换成功"});
    EXPECT_TRUE(treeWhileShown);
    EXPECT_FALSE(test::Exists(StagingDir(tempDir())));
    EXPECT_EQ(test::Run("unzip -tq " + test::Quote(request.archiveName)).exitCode, 0);

    ASSERT_FALSE(ui.packPercents.empty());
    EXPECT_EQ(ui.packPercents.back(), 100);
    EXPECT_EQ(ui.pagePercents.back(), 100);
    // The builder's own handler is back once the run is over.
    EXPECT_EQ(ownPercentCalls, 0);
    zip.OnTotalPercentDone(zip, 5);
    EXPECT_EQ(ownPercentCalls, 1);
    EXPECT_TRUE(zip.ZipAction() == zaReplace);
}

TEST_F(ConversionRun, TooManyPartsWarnFirstThenFail) {
    request.parts = 32;
    const TConversionResult result = RunConversion(request, ui, zip, tempDir());
    EXPECT_FALSE(result.success);
    ASSERT_EQ(ui.warnings.size(), 1u);
    EXPECT_EQ(ui.results, std::vector<std::string>{"灰常遗憾，未能转换成功"});
    EXPECT_FALSE(test::Exists(request.archiveName));
    EXPECT_FALSE(test::Exists(StagingDir(tempDir())));
}

TEST_F(ConversionRun, ArchiveThatCannotBeWrittenFailsWithTheBuildersReason) {
    request.archiveName = scratch / "no/such/dir/book.epub";
    const TConversionResult result = RunConversion(request, ui, zip, tempDir());
    EXPECT_FALSE(result.success);
    EXPECT_EQ(result.resultText, "灰常遗憾，未能转换成功");
    EXPECT_NE(result.reason.find("book.epub"), std::string::npos) << result.reason;
    EXPECT_TRUE(ui.warnings.empty());
    EXPECT_FALSE(test::Exists(StagingDir(tempDir())));
}

TEST_F(ConversionRun, AStagingTreeThatCannotBeMadeRaisesAndShowsNoResult) {
    // A file where the staging directory would go.
    test::WriteFile(scratch / "tmp/EPUB", "in the way");
    EXPECT_THROW(RunConversion(request, ui, zip, tempDir()), EFCreateError);
    EXPECT_TRUE(ui.results.empty());
    EXPECT_FALSE(test::Exists(request.archiveName));
}

TEST_F(ConversionRun, ZipStagingTreeReportsWithoutRaising) {
    std::string reason;
    EXPECT_FALSE(ZipStagingTree(zip, scratch / "missing-root", scratch / "x/y.epub", &reason));
    EXPECT_FALSE(reason.empty());
}

}  // namespace
}  // namespace qm
