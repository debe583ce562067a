// Runs a test's body in a network of its own (TestNetwork.h), in a child process.
#pragma once

#include "support/TestNetwork.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

// Runs `body` in a network of the test's own, in a child process; the child's exit status
// tells the parent whether all held. Skips the test where networks can't be made. Death tests run
// threadsafe from here on.
template <typename Body>
void inANetworkOfItsOwn(Body body) {
    if (geteuid() != 0 || std::system("command -v ip >/dev/null") != 0) {
        GTEST_SKIP() << "network namespaces and veth pairs need root and ip (iproute2)";
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            dup2(STDERR_FILENO, STDOUT_FILENO); // the failures, for the parent to show
            if (!TestNetwork::enterOwnNamespace()) {
                std::exit(6);
            }
            bool held = false;
            ::testing::TestPartResultArray failures;
            {
                // A death test's child tells the parent nothing of its failures: they are
                // caught here and written where the parent shows them.
                const ::testing::ScopedFakeTestPartResultReporter catcher(
                    ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &failures);
                TestNetwork network;
                held = body(network);
            }
            for (int i = 0; i < failures.size(); ++i) {
                const auto& failure = failures.GetTestPartResult(i);
                std::fprintf(stderr, "%s:%d: %s\n", failure.file_name(), failure.line_number(),
                             failure.message());
                held = held && !failure.failed();
            }
            std::exit(held ? 7 : 8);
        },
        ::testing::ExitedWithCode(7), "");
}
