// quillmark-cli --epub3 run as a user runs it, its books read by epubcheck,
// pandoc and ebooklib (the reader harness's epub3 layout), on ordinary and
// hostile sources in every encoding it reads.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/IcuText.h"
#include "support/TestImages.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

using test::Quote;

using test::Encode;

std::string SampleUtf8() {
    return test::Decode(test::ReadFile(std::string(QM_SOURCE_DIR) + "/samples/sample-gbk.txt"),
                        "GBK");
}

class Epub3Cli : public ::testing::Test {
  protected:
    test::CommandResult Cli(const std::string& args,
                            const std::string& env = "SOURCE_DATE_EPOCH=1700000000") {
        return test::Run("cd " + Quote(work.Path()) + " && TMPDIR=" + Quote(tmp.Path()) +
                         " LC_ALL=C.UTF-8 " + env + " " + Quote(test::BinPath("quillmark-cli")) +
                         " --epub3 " + args);
    }
    test::ScratchDir work, tmp;
};

TEST_F(Epub3Cli, EveryBookIsValidAndReadersGetTheWholeText) {
    const std::string sample = SampleUtf8();
    std::string hostile =
        "Debian fortunes: a\xC2\xA0"
        "b ‧ x² ⇔ «quoted» — <foo> & <bar/> \"q\" 'a'\n";
    hostile +=
        "control\x01\x02\x1F bytes\x0B\x0C kept around\n\n\n\n  emoji 😀 and 𠀀 outside GBK\n";
    hostile += "\xEF\xBF\xBE noncharacter\n";
    std::string huge;
    while (huge.size() < 900000) huge += "一行很长的文字没有换行，";  // 300,000 characters
    const std::string rare = "海边\xF0\xA0\x80\x80的书信，𠮷野家\r\n第二行 \xF0\x9F\x98\x80\r\n";
    std::string traditional =
        "海邊的書信\r序\r　　這是一個關於信的故事。鎮上的郵局很小，只有兩間屋子。\r";
    for (int i = 0; i < 40; ++i)
        traditional += "　　每天下午三點，郵遞員會打開郵筒，把裏面的信取出來。\r";
    struct Book {
        const char* name;
        std::string utf8;   // the text the readers must return
        std::string bytes;  // the source file
        const char* args;
    } books[] = {
        {"gbk", sample, Encode(sample, "GBK"), "-n 7"},
        {"hostile", hostile, hostile, "-n 3"},
        {"huge", "start\n" + huge + "\nend", "start\n" + huge + "\nend", ""},
        {"rare", rare, Encode(rare, "GB18030"), ""},
        {"big5", traditional, Encode(traditional, "Big5"), "-n 2"},
        {"utf16be", sample, std::string("\xFE\xFF").append(Encode(sample, "UTF-16BE")), "-n 64"},
        {"blank", "", "\r\n\r\n   \r\n\xE3\x80\x80\r\n", ""},
    };
    std::string pairs;
    auto addPair = [&](const std::string& book, const std::string& expected) {
        pairs.append(1, ' ')
            .append(Quote(work / book))
            .append(1, ' ')
            .append(Quote(work / expected))
            .append(" unicode");
    };
    for (const Book& book : books) {
        test::WriteFile(work / (std::string(book.name) + ".txt"), book.bytes);
        test::WriteFile(work / (std::string(book.name) + ".expected"), book.utf8);
        const auto run =
            Cli(std::string(book.args) + " -t " + book.name + " " + book.name + ".txt");
        ASSERT_EQ(run.exitCode, 0) << book.name << ": " << run.err;
        EXPECT_EQ(run.err.find("U+FFFD"), std::string::npos) << book.name << ": " << run.err;
        addPair(std::string(book.name) + ".epub", std::string(book.name) + ".expected");
    }
    // Every option at once: the text changes, so only the package is judged.
    test::WriteFile(work / "cover.png", test::MakePng(1, 1));
    test::WriteFile(work / "none.expected", "");
    const auto all =
        Cli("--vertical --convert s2t --language zh-Hant --cover cover.png --font "
            "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf -a 作者 -t 全部 -o all gbk.txt");
    ASSERT_EQ(all.exitCode, 0) << all.err;
    addPair("all.epub", "none.expected");

    const auto read = test::Run("/usr/bin/python3 " +
                                Quote(std::string(QM_SOURCE_DIR) + "/tests/cli/reader_harness.py") +
                                " --layout epub3" + pairs);
    EXPECT_EQ(read.exitCode, 0) << read.out << read.err;
    EXPECT_NE(test::Run("unzip -p " + Quote(work / "all.epub") + " 'OEBPS/text/*'")
                  .out.find("這是一個關於信的故事"),
              std::string::npos);
    // The vertical book's cover page is laid out across, so a reader that
    // sets vertical pages in its own columns shows the picture whole.
    const std::string cover =
        test::Run("unzip -p " + Quote(work / "all.epub") + " OEBPS/cover.xhtml OEBPS/css/book.css")
            .out;
    EXPECT_NE(cover.find("<html class=\"cover\""), std::string::npos);
    EXPECT_NE(cover.find("html.cover {\n  writing-mode: horizontal-tb;"), std::string::npos);
}

TEST_F(Epub3Cli, SameSourceAndOptionsGiveTheSameBytes) {
    // Enough chapters for the pages to be rendered in several batches, by one
    // worker or two: the number of threads is no option of the book.
    std::string text;
    for (int k = 1; k <= 300; ++k) {
        text += "第" + std::to_string(k) + "章\r\n";
        for (int line = 0; line < 30; ++line) text += "　　海风吹过灯塔，守塔人在灯下写信。\r\n";
    }
    test::WriteFile(work / "b.txt", text);
    ASSERT_EQ(
        Cli("-o one --threads 1 b.txt", "TZ=Asia/Shanghai SOURCE_DATE_EPOCH=1700000000").exitCode,
        0);
    ASSERT_EQ(Cli("-o two --threads 2 b.txt", "TZ=America/New_York SOURCE_DATE_EPOCH=1700000000")
                  .exitCode,
              0);
    EXPECT_EQ(test::ReadFile(work / "one.epub"), test::ReadFile(work / "two.epub"));
    // In a batch (which names the book after its file) the same book again.
    ASSERT_EQ(Cli("-O shelf b.txt", "SOURCE_DATE_EPOCH=1700000000").exitCode, 0);
    EXPECT_TRUE(test::ReadFile(work / "shelf/b.epub") == test::ReadFile(work / "one.epub"));
    // Without the variable the source's time counts, in UTC too.
    ASSERT_EQ(Cli("-o three b.txt", "TZ=Asia/Tokyo").exitCode, 0);
    ASSERT_EQ(Cli("-o four b.txt", "TZ=Europe/Paris").exitCode, 0);
    EXPECT_EQ(test::ReadFile(work / "three.epub"), test::ReadFile(work / "four.epub"));
    const std::string opf =
        test::Run("unzip -p " + Quote(work / "one.epub") + " OEBPS/content.opf").out;
    EXPECT_NE(opf.find("<meta property=\"dcterms:modified\">2023-11-14T22:13:20Z</meta>"),
              std::string::npos);
    // A different option is a different book.
    ASSERT_EQ(Cli("-o five -t Other b.txt").exitCode, 0);
    const std::string other =
        test::Run("unzip -p " + Quote(work / "five.epub") + " OEBPS/content.opf").out;
    EXPECT_NE(opf.substr(opf.find("urn:uuid:"), 45), other.substr(other.find("urn:uuid:"), 45));
}

TEST_F(Epub3Cli, BatchesMakeEpub3BooksToo) {
    test::WriteFile(work / "甲.txt", "第一章\r\n　　海风。\r\n");
    test::WriteFile(work / "乙.txt", "\xFF\xFE" + std::string("a\0\n\0", 4));
    const auto run = Cli("-O shelf 甲.txt 乙.txt");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const char* name : {"甲", "乙"}) {
        const std::string book = test::ReadFile(work / ("shelf/" + std::string(name) + ".epub"));
        EXPECT_EQ(book.substr(30, 28), "mimetypeapplication/epub+zip") << name;
        const std::string opf =
            test::Run("unzip -p " + Quote(work / ("shelf/" + std::string(name) + ".epub")) +
                      " OEBPS/content.opf")
                .out;
        EXPECT_NE(opf.find(std::string("<dc:title>") + name + "</dc:title>"), std::string::npos)
            << opf;
    }
}

// A file named in GBK, as unpacked from a Windows archive, and GBK bytes
// given to -t and -a: read as text, so every document is UTF-8 and names
// the book rightly.
TEST_F(Epub3Cli, GbkFileNamesAndValuesBecomeText) {
    const std::string name = Encode("《海边的书》作者：某某", "GBK");
    test::WriteFile(work / (name + ".txt"), Encode("第一章\r\n　　海风吹过灯塔。\r\n", "GBK"));
    const auto named = Cli("-o named " + Quote(name + ".txt"));
    ASSERT_EQ(named.exitCode, 0) << named.err;
    const auto typed = Cli("-o typed -t " + Quote(Encode("灯塔", "GBK")) + " -a " +
                           Quote(Encode("守塔人", "GBK")) + " " + Quote(name + ".txt"));
    ASSERT_EQ(typed.exitCode, 0) << typed.err;
    const auto check = test::Run("java -jar /usr/share/java/epubcheck.jar " +
                                 Quote(work / "named.epub") + " 2>&1");
    EXPECT_EQ(check.exitCode, 0) << check.out;
    auto opf = [&](const char* book) {
        return test::Run("unzip -p " + Quote(work / book) + " OEBPS/content.opf").out;
    };
    EXPECT_NE(opf("named.epub").find("<dc:title>海边的书</dc:title>"), std::string::npos);
    EXPECT_NE(opf("named.epub").find("<dc:creator>某某</dc:creator>"), std::string::npos);
    EXPECT_NE(opf("typed.epub").find("<dc:title>灯塔</dc:title>"), std::string::npos);
    EXPECT_NE(opf("typed.epub").find("<dc:creator>守塔人</dc:creator>"), std::string::npos);
    // The classic batch names its book, title and labels after the file.
    const auto batch = test::Run("cd " + Quote(work.Path()) + " && TMPDIR=" + Quote(tmp.Path()) +
                                 " " + Quote(test::BinPath("quillmark-cli")) +
                                 " --classic -n 2 -O shelf " + Quote(name + ".txt"));
    ASSERT_EQ(batch.exitCode, 0) << batch.err;
    const std::string book = work / "shelf/《海边的书》作者：某某.epub";
    EXPECT_NE(test::Run("unzip -p " + Quote(book) + " OEBPS/content.opf")
                  .out.find("<dc:title>《海边的书》作者：某某</dc:title>"),
              std::string::npos);
    EXPECT_NE(test::Run("unzip -p " + Quote(book) + " OEBPS/toc.ncx")
                  .out.find("<text>《海边的书》作者：某某(2)</text>"),
              std::string::npos);
}

TEST_F(Epub3Cli, BadOptionsAreRefusedAndNothingIsWritten) {
    test::WriteFile(work / "b.txt", "text\r\n");
    test::WriteFile(work / "fake.png", "not an image at all");
    for (const char* args :
         {"--cover fake.png", "--cover missing.jpg", "--encoding no-such-thing", "--language zh_CN",
          "--language=", "--convert x2y", "--font fake.png"}) {
        const auto run = Cli(std::string(args) + " -o out b.txt");
        EXPECT_EQ(run.exitCode, 2) << args;
        EXPECT_NE(run.err.find("quillmark-cli: "), std::string::npos) << args;
        EXPECT_FALSE(test::Exists(work / "out.epub")) << args;
    }
    // The EPUB 3 options with the classic layout are a mistake too.
    const auto run =
        test::Run("cd " + Quote(work.Path()) + " && LC_ALL=C.UTF-8 " +
                  Quote(test::BinPath("quillmark-cli")) + " --classic --vertical -o out b.txt");
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("--vertical applies to EPUB 3 books only"), std::string::npos);
    // Undecodable bytes are read as U+FFFD and counted, not a failure.
    test::WriteFile(work / "bad.txt",
                    "\xEF\xBB\xBF"
                    "ok \xC3( and \xFF\r\n");
    const auto bad = Cli("bad.txt");
    EXPECT_EQ(bad.exitCode, 0) << bad.err;
    EXPECT_NE(bad.err.find("2 byte sequences"), std::string::npos) << bad.err;
}

// Inputs that used to hang a run or poison its book end it at once with a
// message and no book. `timeout` only turns a hang into a failure.
TEST_F(Epub3Cli, HostileInputsEndWithAMessageAndNoBook) {
    test::WriteFile(work / "b.txt", "第一章\n" + std::string(39, 'a') + "!\n正文\n");
    ASSERT_EQ(::mkfifo((work / "pipe").c_str(), 0600), 0);
    const std::string png = test::MakePng(40, 30);
    test::WriteFile(work / "cut.png", png.substr(0, png.size() - 20));
    test::WriteFile(work / "huge.png", test::MakePng(100000, 100000, std::string(64, '\0')));
    std::string jpeg = test::MakeJpeg(64, 64);
    test::WriteFile(work / "huge.jpg",
                    jpeg.replace(jpeg.find("\xFF\xC0") + 5, 4, "\xFF\xFF\xFF\xFF"));
    const struct {
        std::string args, env;
        int exitCode;
        const char* message;
    } cases[] = {
        {"--chapter-pattern '(a+)+$'", "", 1,
         "The chapter pattern \"(a+)+$\" ran for about a second"},
        {"--volume-pattern '^(a|a)+$'", "", 1, "The volume pattern \"^(a|a)+$\""},
        {"--cover pipe", "", 2, "The cover image \"pipe\" is a named pipe"},
        {"--font pipe", "", 2, "The font \"pipe\" is a named pipe"},
        {"--cover cut.png", "", 2, "The cover image \"cut.png\" is a damaged PNG image"},
        {"--cover huge.png", "", 2, "\"huge.png\" is 100000 x 100000 pixels"},
        {"--cover huge.jpg", "", 2, "The cover image \"huge.jpg\""},
        {"", "SOURCE_DATE_EPOCH=99999999999999", 1, "SOURCE_DATE_EPOCH is \"99999999999999\""},
    };
    for (const auto& c : cases) {
        const auto run =
            Cli(c.args + " -o out b.txt", "SOURCE_DATE_EPOCH=1700000000 " + c.env + " timeout 120");
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args << c.env << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_FALSE(test::Exists(work / "out.epub")) << c.args << c.env;
    }
}

// A title or author that shows nothing counts as none given; a photo cover
// and a far date stay valid for epubcheck.
TEST_F(Epub3Cli, BlankNamesFallBackAndTheBookStaysValid) {
    test::WriteFile(work / "海边.txt", "第一章\n　　海风。\n");
    test::WriteFile(work / "c.jpg", test::MakeJpeg(300, 400));
    const auto run =
        Cli("-t \"$(printf ' \\001\\t')\" -a \"$(printf '\\342\\200\\213 ')\" --cover "
            "c.jpg -o blank 海边.txt",
            "SOURCE_DATE_EPOCH=253402300799");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string opf =
        test::Run("unzip -p " + Quote(work / "blank.epub") + " OEBPS/content.opf").out;
    EXPECT_NE(opf.find("<dc:title>海边</dc:title>"), std::string::npos) << opf;
    EXPECT_EQ(opf.find("<dc:creator"), std::string::npos) << opf;
    EXPECT_NE(opf.find("9999-12-31T23:59:59Z"), std::string::npos) << opf;
    const auto check =
        test::Run("java -jar /usr/share/java/epubcheck.jar " + Quote(work / "blank.epub"));
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
}

// The cover readers' libraries show: without --cover one drawn from the
// title and author, with it the user's image as given. Either way it is the
// manifest's cover-image, named by <meta name="cover"> and shown first
// (tests/cli/cover_probe.py), and calibre, when present, finds the same.
TEST_F(Epub3Cli, TheCoverIsAnImageReadersFind) {
    test::WriteFile(work / "b.txt", "第一章\n　　海风吹过灯塔。\n");
    test::WriteFile(work / "c.png", test::MakePng(320, 480));
    const std::string userSha1 = test::Run("sha1sum " + Quote(work / "c.png")).out.substr(0, 40);
    const struct {
        const char *name, *args;
        std::string expected;
    } cases[] = {
        {"en", "-t 'The Adventures of Sherlock Holmes' -a 'Arthur Conan Doyle' --language en",
         "image/jpeg 1600x2400 "},
        {"zh", "-t 斗罗大陆，唐门英雄传 -a 唐家三少", "image/jpeg 1600x2400 "},
        {"tw", "-t 紅樓夢 -a 曹雪芹 --language zh-Hant --vertical", "image/jpeg 1600x2400 "},
        {"user", "--cover c.png", "image/png 320x480 " + userSha1},
    };
    const bool calibre = test::Run("command -v ebook-meta").exitCode == 0;
    std::vector<std::string> seen;
    for (const auto& c : cases) {
        const auto run = Cli(std::string(c.args) + " -o " + c.name + " b.txt");
        ASSERT_EQ(run.exitCode, 0) << c.args << ": " << run.err;
        const std::string book = work / (std::string(c.name) + ".epub");
        const auto probe = test::Run(
            "/usr/bin/python3 " + Quote(std::string(QM_SOURCE_DIR) + "/tests/cli/cover_probe.py") +
            " " + Quote(book));
        ASSERT_EQ(probe.exitCode, 0) << c.args << ": " << probe.err;
        EXPECT_EQ(probe.out.rfind(c.expected, 0), 0u) << c.args << ": " << probe.out;
        const std::string sha1 = probe.out.substr(probe.out.rfind(' ') + 1, 40);
        EXPECT_EQ(std::find(seen.begin(), seen.end(), sha1), seen.end()) << c.args;
        seen.push_back(sha1);
        const auto check =
            test::Run("java -jar /usr/share/java/epubcheck.jar " + Quote(book) + " 2>&1");
        EXPECT_NE(check.out.find("No errors or warnings detected"), std::string::npos) << check.out;
        if (calibre) {
            test::Run("ebook-meta --get-cover=" + Quote(work / "got") + " " + Quote(book));
            EXPECT_EQ(test::Run("sha1sum " + Quote(work / "got")).out.substr(0, 40), sha1)
                << c.args;
        }
    }
}

// The lines at a book's top that name it leave the text only when the title
// page shows all they say, each name once; a line that shows nothing (a page
// break, a zero-width space) never heads a volume. The readers must get the
// rest of the source whole; every table of contents entry shows text.
TEST_F(Epub3Cli, OnlyTheNamesTheTitlePageShowsLeaveTheText) {
    const std::string poems =
        "静夜思\n作者：李白\n　　床前明月光，疑是地上霜。\n春晓\n[唐]孟浩然\n"
        "　　春眠不觉晓，处处闻啼鸟。\n";
    const std::string interview =
        "《十年》\n作者：张三\n\n记者：写了多久？\n作者：十年\n记者：还写吗？\n作者：张三\n";
    const std::string dialogue = "访谈录\n记者：写了多久？\n作者：十年了。\n";
    const std::string essays =
        "《春》\n　　春天来了。\n《夏》\n　　夏天热了。\n《秋》\n　　凉了。\n";
    const std::string named = "《海边》作者：某某\n　　海风。\n";
    const std::string breaks =
        "\f\n第一章 起\n　　一。\n第二章 承\n　　二。\n\v\n第一章 转\n　　三。\n"
        "\xE2\x80\x8B\n第一章 合\n　　四。\n";
    const auto from = [](const std::string& text, size_t line) {
        size_t at = 0;
        while (line-- > 0) at = text.find('\n', at) + 1;
        return text.substr(at);
    };
    const struct {
        const char *name, *args;
        std::string source, kept;        // kept: what the pages must hold whole
        std::vector<std::string> shown;  // on the title page
    } cases[] = {
        {"poems", "-t 唐诗选", poems, poems, {"唐诗选", "李白"}},
        {"interview", "", interview, from(interview, 2), {"十年", "张三"}},
        {"dialogue", "", dialogue, dialogue, {"dialogue"}},
        {"essays", "", essays, from(essays, 1), {"春"}},
        {"given", "-t 海边集 -a 某某", named, named, {"海边集", "某某"}},
        {"same", "-t 海边 -a 某某", named, from(named, 1), {"海边", "某某"}},
        {"breaks", "-t 四章", breaks, breaks, {"四章"}},
    };
    std::string pairs;
    for (const auto& c : cases) {
        const std::string name = c.name;
        test::WriteFile(work / (name + ".txt"), c.source);
        test::WriteFile(work / (name + ".kept"), c.kept);
        const auto run = Cli(std::string(c.args) + " -o " + name + " " + name + ".txt");
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.err;
        const std::string book = work / (name + ".epub");
        pairs += " " + Quote(book) + " " + Quote(work / (name + ".kept")) + " unicode";
        const std::string titlePage =
            test::Run("unzip -p " + Quote(book) + " OEBPS/title.xhtml").out;
        for (const std::string& shown : c.shown)
            EXPECT_NE(titlePage.find(">" + shown + "<"), std::string::npos) << name << titlePage;
        const auto entries = test::Run(
            "/usr/bin/python3 -c 'import re, sys, zipfile\n"
            "nav = zipfile.ZipFile(sys.argv[1]).read(\"OEBPS/nav.xhtml\").decode()\n"
            "for a in re.findall(\"<a [^>]*>([^<]*)</a>\", nav):\n"
            "    print(any(c.isprintable() and not c.isspace() for c in a))' " +
            Quote(book));
        EXPECT_EQ(entries.out.find("False"), std::string::npos) << name << entries.out;
    }
    EXPECT_NE(Cli("--list-chapters breaks.txt").out.find("\nFound 4 chapters."), std::string::npos);
    const auto read = test::Run("/usr/bin/python3 " +
                                Quote(std::string(QM_SOURCE_DIR) + "/tests/cli/reader_harness.py") +
                                " --layout epub3" + pairs);
    EXPECT_EQ(read.exitCode, 0) << read.out << read.err;
}

}  // namespace
}  // namespace qm
