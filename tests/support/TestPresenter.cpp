// The presenter the whole test program runs on: the transcript, written to
// standard output (where tests capture it) and reading no keys, so that a
// dialog a test opens closes at once even when the tests run in a terminal.
#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <sstream>

#include "ui/Forms.h"
#include "ui/Transcript.h"

namespace {

class TranscriptEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ui::Application.SetPresenter(
        std::make_unique<ui::TTranscriptPresenter>(noKeys_, std::cout, std::cerr));
  }
  void TearDown() override { ui::Application.SetPresenter(nullptr); }

 private:
  std::istringstream noKeys_;
};

[[maybe_unused]] ::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(
    std::make_unique<TranscriptEnvironment>().release());  // gtest owns it

}  // namespace
