// Archives that earlier versions damaged or packed short, made with the
// real tools and judged by them: kept entries stay readable, a damaged
// directory is rebuilt whole or not at all, and qm-zipdir packs every file.
#include <gtest/gtest.h>

#include <string>

#include "support/TestSupport.h"
#include "zip/ArchiveBytes.h"

namespace qm {
namespace {

using test::Quote;

class DataSafety : public ::testing::Test {
  protected:
    void SetUp() override {
        test::MakeDirs(dir / "src");
        test::MakeDirs(dir / "new");
        // A few KB each, so that entries are deflated and need descriptors.
        for (const char* name : {"a.txt", "b.txt"}) {
            std::string text;
            for (int i = 0; i < 300; ++i)
                text += std::string(name) + " line " + std::to_string(i * i) + "\n";
            test::WriteFile(dir / "src/" + name, text);
        }
        test::WriteFile(dir / "new/c.txt", "the new file");
    }
    test::CommandResult ZipDir(const std::string& archive, const std::string& tree) {
        return test::Run(Quote(test::BinPath("qm-zipdir")) + " " + Quote(archive) + " " +
                         Quote(tree));
    }
    test::CommandResult InSrc(const std::string& command) {
        return test::Run("cd " + Quote(dir / "src") + " && " + command);
    }
    test::ScratchDir dir;
};

TEST_F(DataSafety, UpdatedArchiveKeepsEncryptedEntriesDecryptable) {
    const std::string archive = dir / "x.zip";
    ASSERT_EQ(InSrc("zip -q -e -P pw " + Quote(archive) + " a.txt b.txt").exitCode, 0);
    const auto packed = ZipDir(archive, dir / "new");
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
    const auto tested = test::Run("unzip -t -P pw " + Quote(archive));
    EXPECT_EQ(tested.exitCode, 0) << tested.out;
    EXPECT_EQ(test::Run("unzip -p -P pw " + Quote(archive) + " b.txt").out,
              test::ReadFile(dir / "src/b.txt"));
}

TEST_F(DataSafety, DamagedDirectoryWithDescriptorsIsRebuiltWholeOrNotAtAll) {
    const std::string archive = dir / "x.zip";
    ASSERT_EQ(InSrc("bsdtar --format zip -cf " + Quote(archive) + " a.txt b.txt").exitCode, 0);
    std::string bytes = test::ReadFile(archive);
    bytes.replace(bytes.find("PK\x01\x02"), 4, "XXXX");
    // The same damage with a.txt's descriptor gone too: its end is unknown.
    std::string noDescriptor = bytes;
    const size_t descriptor = noDescriptor.find("PK\x07\x08");
    ASSERT_NE(descriptor, std::string::npos);
    noDescriptor.replace(descriptor, 16, std::string(16, '#'));
    test::WriteFile(archive, bytes);
    test::WriteFile(dir / "y.zip", noDescriptor);

    const auto rebuilt = ZipDir(archive, dir / "new");
    EXPECT_EQ(rebuilt.exitCode, 0) << rebuilt.err;
    test::Run("cp " + Quote(dir / "new/c.txt") + " " + Quote(dir / "src/"));
    const auto check = test::PythonZipCheck(archive, dir / "src");
    EXPECT_EQ(check.out, "3\n") << check.err;

    const auto refused = ZipDir(dir / "y.zip", dir / "new");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(test::ReadFile(dir / "y.zip"), noDescriptor);
}

TEST_F(DataSafety, ZipDirPacksEveryFileOrSaysWhichNot) {
    const std::string tree = dir / "tree";
    test::MakeDirs(tree + "/.config");
    for (const char* name : {".hidden", ".config/x", "a.txt", "A.txt", "中文.txt"})
        test::WriteFile(tree + "/" + name, name);
    const std::string archive = dir / "t.zip";
    ASSERT_EQ(ZipDir(archive, tree).exitCode, 0);
    // Python decodes names by the UTF-8 flag; unzip shows them as they are.
    const auto names = test::Run(
        "python3 -c 'import sys, zipfile; print(sorted((i.filename, i.flag_bits & 0x800) for i in "
        "zipfile.ZipFile(sys.argv[1]).infolist()))' " +
        Quote(archive));
    EXPECT_EQ(
        names.out,
        "[('.config/x', 0), ('.hidden', 0), ('A.txt', 0), ('a.txt', 0), ('中文.txt', 2048)]\n");
    EXPECT_NE(test::Run("LC_ALL=C.UTF-8 unzip -l " + Quote(archive)).out.find("中文.txt"),
              std::string::npos);
    EXPECT_EQ(test::PythonZipCheck(archive, tree).exitCode, 0);

    // A missing directory is an error, not an empty archive.
    const auto missing = ZipDir(dir / "m.zip", dir / "absent");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("absent"), std::string::npos);
    EXPECT_FALSE(test::Exists(dir / "m.zip"));
}

}  // namespace
}  // namespace qm
