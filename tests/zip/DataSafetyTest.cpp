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

// Streams big.bin, a.txt and an empty file from src the way the named tool does with Zip64
// data descriptors (a stream that cannot seek back to fix the headers).
const char* const kStreamedZip64Makers[][2] = {
    {"python deflate", "python3 ../stream.py ZIP_DEFLATED"},
    {"python store", "python3 ../stream.py ZIP_STORED"},
    {"bsdtar", "bsdtar --format zip --options zip:zip64 -cf - big.bin a.txt empty"},
};
const char* const kStreamScript = R"(import sys, zipfile
class Pipe:
    def __init__(self): self.out = sys.stdout.buffer
    def write(self, b): return self.out.write(b)
    def flush(self): self.out.flush()
with zipfile.ZipFile(Pipe(), "w", getattr(zipfile, sys.argv[1])) as z:
    for name in ("big.bin", "a.txt", "empty"):
        with z.open(name, "w", force_zip64=True) as f:
            f.write(open(name, "rb").read())
)";

TEST_F(DataSafety, StreamedZip64EntriesAreRepairedWholeOrRefused) {
    std::string big;
    for (int i = 0; big.size() < 1024000; ++i) big += "row " + std::to_string(i * 7919) + "\n";
    big.resize(1024000);
    test::WriteFile(dir / "src/big.bin", big);
    // An empty entry's 64-bit descriptor also reads as a 32-bit one.
    test::WriteFile(dir / "src/empty", "");
    test::WriteFile(dir / "stream.py", kStreamScript);
    test::Run("cp " + Quote(dir / "new/c.txt") + " " + Quote(dir / "src/"));
    for (const auto& [tool, command] : kStreamedZip64Makers) {
        SCOPED_TRACE(tool);
        const std::string archive = dir / "s.zip";
        ASSERT_EQ(InSrc(std::string(command) + " > " + Quote(archive)).exitCode, 0);
        std::string bytes = test::ReadFile(archive);
        const size_t central = bytes.find("PK\x01\x02");
        ASSERT_NE(central, std::string::npos);
        bytes.replace(central, 4, "XXXX");
        // The same damage, and big.bin's descriptor claiming one byte more.
        std::string lying = bytes;
        const size_t descriptor = lying.find("PK\x07\x08");
        ASSERT_NE(descriptor, std::string::npos);
        ++lying[descriptor + 16];
        test::WriteFile(archive, bytes);
        test::WriteFile(dir / "lying.zip", lying);

        const auto repaired = ZipDir(archive, dir / "new");
        EXPECT_EQ(repaired.exitCode, 0) << repaired.err;
        EXPECT_EQ(test::PythonZipCheck(archive, dir / "src").out, "4\n");
        EXPECT_EQ(test::Run("unzip -tq " + Quote(archive)).exitCode, 0);
        // Compared whole: a diff of a megabyte would not fit in memory.
        const std::string extracted = test::Run("bsdtar -xOf " + Quote(archive) + " big.bin").out;
        EXPECT_TRUE(extracted == big) << "bsdtar gave " << extracted.size() << " bytes";

        const auto refused = ZipDir(dir / "lying.zip", dir / "new");
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_NE(refused.err.find("\"big.bin\""), std::string::npos) << refused.err;
        EXPECT_TRUE(test::ReadFile(dir / "lying.zip") == lying);
    }
}

TEST_F(DataSafety, RepairKeepsWhatSurvivingCentralRecordsSay) {
    const std::string tree = dir / "tree";
    test::MakeDirs(tree);
    test::WriteFile(tree + "/中文名.txt", std::string(100, 'x'));
    test::WriteFile(tree + "/run.sh", "#!/bin/sh\n");
    test::WriteFile(tree + "/plain.txt", "plain\n");
    const std::string archive = dir / "m.zip";
    ASSERT_EQ(test::Run("cd " + Quote(tree) +
                        " && chmod 755 run.sh && chmod 640 plain.txt && ln -s run.sh link && "
                        "zip -qy " +
                        Quote(archive) + " 中文名.txt run.sh link plain.txt")
                  .exitCode,
              0);
    // Only the first central record is lost.
    std::string bytes = test::ReadFile(archive);
    bytes.replace(bytes.find("PK\x01\x02"), 4, "XXXX");
    test::WriteFile(archive, bytes);

    const auto repaired = ZipDir(archive, dir / "new");
    EXPECT_EQ(repaired.exitCode, 0) << repaired.err;
    EXPECT_NE(repaired.err.find("held: 中文名.txt."), std::string::npos) << repaired.err;
    const auto listed = test::Run(
        "python3 -c 'import sys, zipfile\nfor i in zipfile.ZipFile(sys.argv[1]).infolist(): "
        "print(i.create_system, oct(i.external_attr >> 16), i.orig_filename.encode(\"cp437\") "
        "if i.flag_bits & 0x800 == 0 else i.filename)' " +
        Quote(archive));
    EXPECT_EQ(listed.out,
              "3 0o100644 b'\\xe4\\xb8\\xad\\xe6\\x96\\x87\\xe5\\x90\\x8d.txt'\n3 0o100755 "
              "b'run.sh'\n3 0o120777 b'link'\n3 0o100640 b'plain.txt'\n0 0o0 b'c.txt'\n")
        << listed.err;
    EXPECT_NE(test::Run("LC_ALL=C.UTF-8 unzip -l " + Quote(archive)).out.find("中文名.txt"),
              std::string::npos);
    // unzip is the judge of what the modes and link types mean.
    const std::string out = dir / "out";
    ASSERT_EQ(test::Run("unzip -q " + Quote(archive) + " -d " + Quote(out)).exitCode, 0);
    EXPECT_EQ(test::Run("cd " + Quote(out) + " && stat -c '%A %n' run.sh link plain.txt").out,
              "-rwxr-xr-x run.sh\nlrwxrwxrwx link\n-rw-r----- plain.txt\n");
    EXPECT_EQ(test::ReadFile(out + "/中文名.txt"), std::string(100, 'x'));
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

    // Files the walk passes over by design are named, and the run still succeeds.
    const std::string odd = dir / "odd";
    test::MakeDirs(odd + "/sub");
    test::WriteFile(odd + "/a.txt", "a");
    ASSERT_EQ(test::Run("cd " + Quote(odd) +
                        " && mkfifo sub/fifo && ln -s nowhere dangling && ln -s sub dirlink")
                  .exitCode,
              0);
    const auto named = ZipDir(dir / "o.zip", odd);
    EXPECT_EQ(named.exitCode, 0);
    for (const char* expected :
         {"/dangling (a link to nothing)", "/dirlink (a link to a directory, not followed)",
          "/sub/fifo (a named pipe, not a regular file)"})
        EXPECT_NE(named.err.find(expected), std::string::npos) << named.err;
    EXPECT_EQ(test::PythonZipCheck(dir / "o.zip", odd).out, "1\n");

    // A missing directory is an error, not an empty archive.
    const auto missing = ZipDir(dir / "m.zip", dir / "absent");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("absent"), std::string::npos);
    EXPECT_FALSE(test::Exists(dir / "m.zip"));
}

}  // namespace
}  // namespace qm
