// What `cmake --install` and the Debian package put in place, judged by the
// tools made for each kind of file, and the programs run from there.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace qm {
namespace {

using test::Quote;

const std::string kAppId = "org.quillmark.Quillmark";

bool Have(const std::string& tool) {
    return test::Run("command -v " + tool).exitCode == 0;
}

uint32_t BigEndian32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// Converts the sample book with the quillmark-cli at `cli` and checks the book.
void ExpectConversionWith(const std::string& cli, const test::ScratchDir& work) {
    const auto convert =
        test::Run("cd " + Quote(work.Path()) + " && " + Quote(cli) + " --classic -n 4 -O books " +
                  Quote(std::string(QM_SOURCE_DIR) + "/samples/sample-gbk.txt"));
    EXPECT_EQ(convert.exitCode, 0) << convert.out << convert.err;
    const auto unzip = test::Run("unzip -tq " + Quote(work / "books/sample-gbk.epub"));
    EXPECT_EQ(unzip.exitCode, 0) << unzip.out << unzip.err;
}

TEST(Install, InstalledFilesPassTheirValidators) {
    test::ScratchDir root;
    const std::string prefix = root / "usr";
    const auto install =
        test::Run("cmake --install " + Quote(QM_BUILD_DIR) + " --prefix " + Quote(prefix));
    ASSERT_EQ(install.exitCode, 0) << install.out << install.err;

    std::vector<std::string> expected = {"bin/quillmark-cli",
                                         "bin/qm-zipdir",
                                         "share/applications/" + kAppId + ".desktop",
                                         "share/metainfo/" + kAppId + ".metainfo.xml",
                                         "share/icons/hicolor/scalable/apps/" + kAppId + ".svg",
                                         "share/man/man1/quillmark-cli.1.gz",
                                         "share/man/man1/qm-zipdir.1.gz",
                                         "share/doc/quillmark/copyright",
                                         "share/doc/quillmark/changelog.gz",
                                         "share/bash-completion/completions/quillmark-cli",
                                         "share/bash-completion/completions/qm-zipdir"};
    if (test::Exists(test::BinPath("quillmark"))) expected.push_back("bin/quillmark");
    for (const std::string& file : expected) EXPECT_TRUE(test::Exists(prefix + "/" + file)) << file;

    // The sized icons are PNGs of their size (width and height in the header).
    if (Have("rsvg-convert")) {
        for (int size : {16, 32, 48, 128, 256}) {
            const std::string png = prefix + "/share/icons/hicolor/" + std::to_string(size) + "x" +
                                    std::to_string(size) + "/apps/" + kAppId + ".png";
            const std::string bytes = test::ReadFile(png);
            ASSERT_GE(bytes.size(), 24u) << png;
            EXPECT_EQ(bytes.substr(1, 3), "PNG");
            EXPECT_EQ(BigEndian32(bytes, 16), static_cast<uint32_t>(size)) << png;
            EXPECT_EQ(BigEndian32(bytes, 20), static_cast<uint32_t>(size)) << png;
        }
    }

    const auto desktop = test::Run("desktop-file-validate " +
                                   Quote(prefix + "/share/applications/" + kAppId + ".desktop"));
    EXPECT_EQ(desktop.exitCode, 0) << desktop.out << desktop.err;
    EXPECT_EQ(desktop.out + desktop.err, "");
    const std::string entry = test::ReadFile(prefix + "/share/applications/" + kAppId + ".desktop");
    for (const char* line : {"Exec=quillmark %f\n", "MimeType=text/plain;\n",
                             "Name[zh_CN]=", "Comment[zh_CN]=", "Categories=Office;"}) {
        EXPECT_NE(entry.find(line), std::string::npos) << line;
    }

    const auto appstream = test::Run("appstreamcli validate --no-net " +
                                     Quote(prefix + "/share/metainfo/" + kAppId + ".metainfo.xml"));
    EXPECT_EQ(appstream.exitCode, 0) << appstream.out << appstream.err;
    // Its screenshots are pictures the repository keeps, under the homepage.
    const std::string metainfo =
        test::ReadFile(prefix + "/share/metainfo/" + kAppId + ".metainfo.xml");
    EXPECT_NE(metainfo.find("<metadata_license>FSFAP</metadata_license>"), std::string::npos);
    const std::string imageAt = "<image>https://quillmark.org/screenshots/";
    size_t images = 0;
    for (size_t at = metainfo.find(imageAt); at != std::string::npos;
         at = metainfo.find(imageAt, at + 1), ++images) {
        const size_t start = at + imageAt.size();
        const std::string name = metainfo.substr(start, metainfo.find('<', start) - start);
        const std::string picture =
            test::ReadFile(std::string(QM_SOURCE_DIR) + "/data/screenshots/" + name);
        ASSERT_GE(picture.size(), 4u) << name;
        EXPECT_EQ(picture.substr(1, 3), "PNG") << name;
    }
    EXPECT_GE(images, 1u);

    for (const char* page : {"quillmark", "quillmark-cli", "qm-zipdir"}) {
        // groff reports what it cannot typeset on stderr, without failing.
        const auto man =
            test::Run("MANWIDTH=80 man --warnings -E UTF-8 -l " +
                      Quote(prefix + "/share/man/man1/" + page + ".1.gz") + " >/dev/null");
        EXPECT_EQ(man.exitCode, 0) << page;
        EXPECT_EQ(man.err, "") << page;
    }

    // The completion offers the options that the installed program's help lists.
    const auto complete =
        test::Run("PATH=" + Quote(prefix + "/bin") + ":$PATH bash -c 'source " +
                  Quote(prefix + "/share/bash-completion/completions/quillmark-cli") +
                  "; COMP_WORDS=(quillmark-cli --out); COMP_CWORD=1; _quillmark_cli; echo "
                  "\"${COMPREPLY[*]}\"; "
                  "COMP_WORDS=(qm-zipdir --action f); COMP_CWORD=2; _quillmark_cli; echo "
                  "\"${COMPREPLY[*]}\"'");
    EXPECT_EQ(complete.out, "--output --output-dir\nfreshen\n") << complete.err;

    EXPECT_EQ(test::Run(Quote(prefix + "/bin/quillmark-cli") + " --version").out,
              "quillmark-cli 1.0\n");
    ExpectConversionWith(prefix + "/bin/quillmark-cli", root);
}

// The package's files, without directories: "./usr/bin/quillmark-cli" ...
std::vector<std::string> PackageFiles(const std::string& deb) {
    const auto list =
        test::Run("dpkg-deb --fsys-tarfile " + Quote(deb) + " | tar -t | grep -v '/$'");
    std::vector<std::string> files;
    size_t start = 0;
    for (size_t end; (end = list.out.find('\n', start)) != std::string::npos; start = end + 1) {
        files.push_back(list.out.substr(start + 1, end - start - 1));  // without the "."
    }
    return files;
}

// The dependencies are installed here in versions they accept, so a real
// installation has what it needs (dpkg-checkbuilddeps judges any relation).
void ExpectDependenciesMet(const std::string& deb, const test::ScratchDir& scratch) {
    test::WriteFile(scratch / "control", "Source: probe\n\nPackage: probe\nArchitecture: any\n");
    const auto check = test::Run("dpkg-checkbuilddeps -c '' -d \"$(dpkg-deb -f " + Quote(deb) +
                                 " Depends)\" " + Quote(scratch / "control"));
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
}

TEST(Install, DebianPackageInstallsRunsAndRemovesCleanly) {
    if (!Have("dpkg-deb") || !Have("dpkg-shlibdeps")) GTEST_SKIP() << "dpkg-dev is not installed";
    test::ScratchDir scratch;
    const auto pack = test::Run("cpack -G DEB --config " +
                                Quote(std::string(QM_BUILD_DIR) + "/CPackConfig.cmake") + " -B " +
                                Quote(scratch / "out"));
    const std::string deb = scratch / "out/quillmark_1.0_amd64.deb";
    ASSERT_TRUE(test::Exists(deb)) << pack.out << pack.err;

    // Computed from what the programs link, and the cover's face named by hand.
    const std::string depends = test::Run("dpkg-deb -f " + Quote(deb) + " Depends").out;
    for (const char* library :
         {"libc6", "libicu", "zlib1g", "libstdc++6", "libpangocairo", "fonts-noto-cjk"}) {
        EXPECT_NE(depends.find(library), std::string::npos) << depends;
    }
    ExpectDependenciesMet(deb, scratch);
    // Debian's own checker finds nothing it calls an error (scripts/install-deps.sh
    // installs it; its warnings and notes are printed for whoever looks).
    if (Have("lintian")) {
        const auto lint = test::Run("lintian --fail-on error " + Quote(deb));
        EXPECT_EQ(lint.exitCode, 0) << lint.out << lint.err;
        std::cout << lint.out;
    }
    const std::vector<std::string> files = PackageFiles(deb);
    EXPECT_NE(std::find(files.begin(), files.end(), "/usr/bin/quillmark-cli"), files.end());

    // Into the real system only where it is ours to change (CI's fresh
    // machine runs the tests as root): nothing of the package's may be there
    // yet. Elsewhere, or when QM_THROWAWAY_ROOT is set, into a throw-away root
    // with a database of its own.
    bool real = ::geteuid() == 0 && !std::getenv("QM_THROWAWAY_ROOT") &&
                test::Run("dpkg-query -W quillmark").exitCode != 0;
    for (const std::string& file : files) real = real && !test::Exists(file);
    std::string root = "/", dpkg = "dpkg";
    if (!real) {
        root = scratch / "root/";
        test::MakeDirs(root + "var/lib/dpkg/updates");
        test::MakeDirs(root + "var/lib/dpkg/info");
        test::WriteFile(root + "var/lib/dpkg/status", "");
        dpkg = "dpkg --root=" + Quote(root) + " --force-depends --force-script-chrootless" +
               (::geteuid() == 0 ? "" : " --force-not-root");
    }
    // Another package manager at work holds dpkg's lock for a while.
    const std::string retry = "for i in $(seq 60); do out=$(" + dpkg +
                              " %s 2>&1) && exit 0; echo \"$out\" | grep -q lock || "
                              "{ echo \"$out\"; exit 1; }; sleep 2; done; exit 1";
    auto runDpkg = [&](const std::string& arguments) {
        char command[2048];
        std::snprintf(command, sizeof command, retry.c_str(), arguments.c_str());
        return test::Run(command);
    };
    const auto installed = runDpkg("-i " + Quote(deb));
    ASSERT_EQ(installed.exitCode, 0) << installed.out << installed.err;

    const std::string cli = root + "usr/bin/quillmark-cli";
    EXPECT_EQ(test::Run(Quote(cli) + " --version").out, "quillmark-cli 1.0\n");
    ExpectConversionWith(cli, scratch);

    const auto removed = runDpkg("-r quillmark");
    EXPECT_EQ(removed.exitCode, 0) << removed.out << removed.err;
    for (const std::string& file : files) EXPECT_FALSE(test::Exists(root + file.substr(1))) << file;
    const auto status = test::Run((real ? std::string("dpkg-query")
                                        : "dpkg-query --admindir=" + Quote(root + "var/lib/dpkg")) +
                                  " -W -f='${Status}' quillmark");
    EXPECT_EQ(status.out.find(" installed"), std::string::npos) << status.out;
    EXPECT_EQ(status.out.find("config-files"), std::string::npos) << status.out;
    if (!real) {
        // Nothing left but dpkg's own database.
        EXPECT_EQ(
            test::Run("find " + Quote(root) + " -mindepth 1 -not -path " + Quote(root + "var*"))
                .out,
            "");
    }
}

}  // namespace
}  // namespace qm
