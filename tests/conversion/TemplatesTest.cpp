#include <gtest/gtest.h>
#include <sys/stat.h>

#include "conversion/EpubTemplates.h"
#include "conversion/StagingTree.h"
#include "platform/Exceptions.h"
#include "support/TestSupport.h"

using qm::test::Hex;
using qm::test::ReadFile;

namespace qm {
namespace {

// The page template filled with a body.
std::string FormatPage(std::string_view body) {
    return std::string(kPageHead).append(body).append(kPageTail);
}

TEST(EpubTemplates, FixedTextsHaveTheirExactSizes) {
    EXPECT_EQ(kMimetypeText.size(), 20u);
    EXPECT_EQ(kContainerXml.size(), 238u);
    EXPECT_EQ(kMainCss.size(), 220u);
    EXPECT_EQ(FormatPage("").size(), 224u - 2);  // the template less its "%s"
    EXPECT_EQ(kTocNcxHead.size(), 380u);
    EXPECT_NE(kMainCss.find("margin-bottom:-0.8em;}"), std::string_view::npos);
    EXPECT_NE(kMainCss.find("body {padding"), std::string_view::npos);
    EXPECT_NE(FormatPage("").find("charset=utf-8\" /><link"), std::string::npos);
}

TEST(EpubTemplates, PerPartFormatsFilledWithSampleValues) {
    EXPECT_EQ(FormatPage("a<p>b"),
              "<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"zh-CN\"><head><meta "
              "http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" /><link "
              "rel=\"stylesheet\" type=\"text/css\" href=\"css/main.css\"/></head><body>a<p>b"
              "</body></html>");
    EXPECT_EQ(FormatManifestItem(12),
              "<item id=\"txt12\" href=\"12.html\" media-type=\"application/xhtml+xml\"/>");
    EXPECT_EQ(FormatSpineRef(0), "<itemref idref=\"txt0\"/>");
    EXPECT_EQ(FormatNavPoint(2, "Book"),
              "<navPoint id=\"txt2\" playOrder=\"2\"><navLabel><text>Book(3)</text></navLabel>"
              "<content src=\"2.html\"/></navPoint>");
}

TEST(StagingTree, WritesUtf8WithoutMarkAndEmptyFiles) {
    test::ScratchDir dir;
    WriteUtf8File(dir / "zh", Hex("D6 D0"));
    EXPECT_EQ(ReadFile(dir / "zh"), Hex("E4 B8 AD"));
    WriteUtf8File(dir / "zh", "");  // truncates an existing file
    EXPECT_EQ(ReadFile(dir / "zh"), "");
}

TEST(StagingTree, CreatesTreeAndRewritesFixedFilesOfAnExistingOne) {
    test::ScratchDir dir;
    CreateStagingTree(dir.Path());
    test::WriteFile(dir / "EPUB/mimetype", "garbage that is longer than the real text");
    test::WriteFile(dir / "EPUB/OEBPS/extra.txt", "stays");
    CreateStagingTree(dir.Path());
    EXPECT_EQ(ReadFile(dir / "EPUB/mimetype"), "application/epub+zip");
    EXPECT_EQ(ReadFile(dir / "EPUB/META-INF/container.xml"), std::string(kContainerXml));
    EXPECT_EQ(ReadFile(dir / "EPUB/OEBPS/css/main.css"), std::string(kMainCss));
    EXPECT_EQ(ReadFile(dir / "EPUB/OEBPS/extra.txt"), "stays");
    EXPECT_TRUE(DeleteDirectoryTree(StagingDir(dir.Path())));
    EXPECT_FALSE(test::Exists(dir / "EPUB"));
}

TEST(StagingTree, UnwritableStagingDirectoryRaisesCreateErrorWithPath) {
    test::ScratchDir dir;
    // A file where the staging directory should be: no directory can be made
    // there, whoever runs the test.
    test::WriteFile(dir / "EPUB", "in the way");
    try {
        CreateStagingTree(dir.Path());
        FAIL() << "no error";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message().rfind("Cannot create file \"" + dir.Path() + "EPUB/mimetype\". ", 0),
                  0u)
            << e.Message();
    }
}

TEST(StagingTree, FullDiskIsAnErrorNotATruncatedFile) {
    EXPECT_THROW(WriteUtf8File("/dev/full", "text"), EWriteError);
}

}  // namespace
}  // namespace qm
