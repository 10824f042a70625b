// Tests that need the frame's function-local statics (UpdateBlock's,
// GameLoop's) or the render state as the process started run in a child
// process of their own, a fork inside the test as death tests do: the test
// binary then passes run directly, in any order, not only under ctest's
// process a test.
#ifndef ORVIX_TESTS_RUN_IN_CHILD_H
#define ORVIX_TESTS_RUN_IN_CHILD_H

#include <gtest/gtest.h>

#include <functional>

// Runs `body` in a forked child, which prints its own failures; the test
// fails when the child had one, crashed or left early. The child is a copy of
// this process: the frame's statics are fresh there because the frame runs
// only in children, and the render state is put back as the process started.
// Without fork (Windows) `body` runs here: ctest runs every test alone there.
void RunInChild(const std::function<void()>& body);

// TEST_F, with the fixture made and the body run in a child of its own. The
// fixture's constructor and destructor are its set-up and tear-down.
#define TEST_IN_CHILD(Fixture, Name)            \
  struct Fixture##_##Name##_InChild : Fixture { \
    void TestBody() override;                   \
  };                                            \
  TEST(Fixture, Name) {                         \
    RunInChild([] {                             \
      Fixture##_##Name##_InChild test;          \
      test.TestBody();                          \
    });                                         \
  }                                             \
  void Fixture##_##Name##_InChild::TestBody()

#endif  // ORVIX_TESTS_RUN_IN_CHILD_H
