// Every process-ending path of the generator: the exact bytes written to
// stderr (line end or none) and the exit status, observed in a forked child.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "random/ranlib.h"
#include "random_test_util.h"

namespace {

using random_test::run_in_child;

struct Outcome {
    std::string err;
    int status;
};

Outcome run(const std::function<void()>& body) {
    Outcome o;
    o.err = run_in_child(body, &o.status);
    return o;
}

// The same body in a process whose generator has never been touched.
Outcome run_uninitialised(const std::function<void()>& body) {
    return run([&] {
        random_test::reset_generator_state();
        body();
    });
}

std::string mltmod_failure(long a, long s, long m) {
    char line[128];
    std::snprintf(line, sizeof line, " a = %12ld s = %12ld m = %12ld\n", a, s, m);
    return std::string(" a, m, s out of order in mltmod - ABORT!") + line +
           " mltmod requires: 0 < a < m; 0 < s < m";
}

TEST(GeneratorFailure, OperationsBeforeInitialisation) {
    int32_t a = 0, b = 0;
    Outcome o = run_uninitialised([] { setsd(1, 1); });
    EXPECT_EQ(o.err, " SETSD called before random number generator  initialized -- abort!\n");
    EXPECT_EQ(o.status, 1);

    o = run_uninitialised([] { setant(1); });
    EXPECT_EQ(o.err, " SETANT called before random number generator  initialized -- abort!\n");
    EXPECT_EQ(o.status, 1);

    o = run_uninitialised([] { initgn(-1); });
    EXPECT_EQ(o.err, " INITGN called before random number generator  initialized -- abort!\n");
    EXPECT_EQ(o.status, 1);

    o = run_uninitialised([&] { getsd(&a, &b); });
    EXPECT_EQ(o.err, " GETSD called before random number generator  initialized -- abort!\n");
    EXPECT_EQ(o.status, 0);

    o = run_uninitialised([] { advnst(3); });
    EXPECT_EQ(o.err, " ADVNST called before random generator initialized - ABORT");
    EXPECT_EQ(o.status, 1);
}

TEST(GeneratorFailure, OperationsAfterInitialisationDoNotFail) {
    // The checks look at the initialised flag only: inrgcm alone suffices.
    int32_t a = 0, b = 0;
    const Outcome o = run_uninitialised([&] {
        inrgcm();
        setsd(5, 6);
        getsd(&a, &b);
        setant(0);
        initgn(0);
        advnst(2);
        if (a != 5 || b != 6) std::fputs("wrong seeds", stderr);
    });
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.status, 99);  // the body returned
}

TEST(GeneratorFailure, InitgnModeOutOfRange) {
    for (int32_t mode : {2, -2, 100}) {
        const Outcome o = run([mode] {
            setall(1, 1);
            initgn(mode);
        });
        EXPECT_EQ(o.err, "isdtyp not in range in INITGN\n") << "mode " << mode;
        EXPECT_EQ(o.status, 1);
    }
}

TEST(GeneratorFailure, GeneratorNumberOutOfRange) {
    for (int32_t g : {0, 33, -1}) {
        const Outcome o = run([g] {
            int32_t n = g;
            gscgn(1, &n);
        });
        EXPECT_EQ(o.err, " Generator number out of range in GSCGN") << "g = " << g;
        EXPECT_EQ(o.status, 0);
    }
}

TEST(GeneratorFailure, MltmodArgumentsOutOfOrder) {
    const long cases[][3] = {{0, 5, 7}, {7, 5, 7}, {-3, 5, 7}, {3, 0, 7}, {3, 7, 7},
                             {3, -1, 7}, {2147483647, 1, 2147483563}};
    for (const auto& c : cases) {
        const Outcome o = run([&c] {
            mltmod(static_cast<int32_t>(c[0]), static_cast<int32_t>(c[1]),
                   static_cast<int32_t>(c[2]));
        });
        EXPECT_EQ(o.err, mltmod_failure(c[0], c[1], c[2]));
        EXPECT_EQ(o.status, 1);
    }
}

TEST(GeneratorFailure, SeedsOutsideTheComponentRangesStopInMltmod) {
    // The first seed meets mltmod for generator 2 with modulus 2^31 - 85, the
    // second with 2^31 - 249.
    Outcome o = run([] { setall(0, 0); });
    EXPECT_EQ(o.err, mltmod_failure(2082007225, 0, 2147483563));
    EXPECT_EQ(o.status, 1);

    o = run([] { setall(-5, -5); });
    EXPECT_EQ(o.err, mltmod_failure(2082007225, -5, 2147483563));
    EXPECT_EQ(o.status, 1);

    o = run([] { setall(2147483399, 2147483399); });
    EXPECT_EQ(o.err, mltmod_failure(784306273, 2147483399, 2147483399));
    EXPECT_EQ(o.status, 1);

    o = run([] { setall(2147483563, 1); });
    EXPECT_EQ(o.err, mltmod_failure(2082007225, 2147483563, 2147483563));
    EXPECT_EQ(o.status, 1);

    o = run([] { setall(17, 0); });
    EXPECT_EQ(o.err, mltmod_failure(784306273, 0, 2147483399));
    EXPECT_EQ(o.status, 1);

    // The largest valid seeds do not fail.
    o = run([] { setall(2147483562, 2147483398); });
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.status, 99);
}

// A front end that must not end its host process installs a handler that
// leaves by an exception (the MATLAB error path does the same by a jump).
struct LibraryStop {
    int status;
};

void throwing_handler(int status) { throw LibraryStop{status}; }
void returning_handler(int) {}

TEST(GeneratorFailure, ExitHandlerReceivesTheStatus) {
    random_test::StateGuard guard;
    setall(1, 1);
    ranlib_set_exit_handler(throwing_handler);
    int status = -1;
    try {
        initgn(7);
    } catch (const LibraryStop& stop) {
        status = stop.status;
    }
    EXPECT_EQ(status, 1);
    status = -1;
    try {
        int32_t g = 40;
        gscgn(1, &g);
    } catch (const LibraryStop& stop) {
        status = stop.status;
    }
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ranlib_generator_state()->curntg, 1);  // not changed
    ranlib_set_exit_handler(nullptr);
}

TEST(GeneratorFailure, AHandlerThatReturnsStillEndsTheProcess) {
    const Outcome o = run([] {
        ranlib_set_exit_handler(returning_handler);
        setall(1, 1);
        initgn(3);
    });
    EXPECT_EQ(o.err, "isdtyp not in range in INITGN\n");
    EXPECT_EQ(o.status, 1);
}

}  // namespace
