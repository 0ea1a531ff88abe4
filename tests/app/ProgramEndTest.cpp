// The program as a desktop session or a terminal ends it: asked to stop by a
// signal, it ends in order and leaves nothing in the temporary folder.
#include <gtest/gtest.h>

#include <string>

#include "support/TestSupport.h"

namespace qm {
namespace {

TEST(Program, EndsInOrderWhenASignalAsksItToStop) {
    for (const auto& [signal, status] : {std::pair{"TERM", "143"}, std::pair{"HUP", "129"}}) {
        SCOPED_TRACE(signal);
        test::ScratchDir tmp;
        const std::string dir = test::Quote(tmp.Path());
        // The private temporary directory exists once the window is made.
        const auto result =
            test::Run("TMPDIR=" + dir + " QT_QPA_PLATFORM=offscreen " +
                      test::Quote(test::BinPath("quillmark")) + " 2>/dev/null & pid=$!; " +
                      "for i in $(seq 600); do ls " + dir + " | grep -q '^quillmark-' && break; " +
                      "sleep 0.05; done; kill -" + signal + " $pid; wait $pid; echo $?; ls " + dir +
                      " | grep '^quillmark-'");
        EXPECT_EQ(result.out, std::string(status) + "\n");
    }
    // Under nohup the hang-up stays ignored: the program ends only on the
    // TERM sent a moment after it.
    test::ScratchDir tmp;
    const std::string dir = test::Quote(tmp.Path());
    const auto result = test::Run(
        "(trap '' HUP; TMPDIR=" + dir + " QT_QPA_PLATFORM=offscreen exec " +
        test::Quote(test::BinPath("quillmark")) + " 2>/dev/null) & pid=$!; " +
        "for i in $(seq 600); do ls " + dir + " | grep -q '^quillmark-' && break; " +
        "sleep 0.05; done; kill -HUP $pid; sleep 0.5; kill -TERM $pid; wait $pid; echo $?");
    EXPECT_EQ(result.out, "143\n");
}

}  // namespace
}  // namespace qm
