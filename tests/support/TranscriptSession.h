// Puts the application on a transcript in memory for the length of one test:
// keys in from a text, lines out into a buffer, everything reset afterwards.
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ui/Forms.h"
#include "ui/Transcript.h"

namespace testing_support {

class TranscriptSession {
 public:
  explicit TranscriptSession(const std::string& keys = "") : in_(keys) {
    auto presenter = std::make_unique<ui::TTranscriptPresenter>(in_, out_, diagnostics_);
    presenter_ = presenter.get();
    previous_ = ui::Application.SetPresenter(std::move(presenter));
    ui::Application.Reset();
  }
  ~TranscriptSession() {
    ui::Application.Reset();
    ui::Application.SetPresenter(std::move(previous_));
  }
  TranscriptSession(const TranscriptSession&) = delete;
  TranscriptSession& operator=(const TranscriptSession&) = delete;

  ui::TTranscriptPresenter& Presenter() { return *presenter_; }
  // The lines written so far (UTF-8, without their line ends).
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::istringstream text(out_.str());
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }
  std::string Diagnostics() const { return diagnostics_.str(); }
  // What is left of the keys.
  std::string UnreadInput() {
    std::string rest, line;
    while (std::getline(in_, line)) rest += line + "\n";
    return rest;
  }

 private:
  std::istringstream in_;
  std::ostringstream out_;
  std::ostringstream diagnostics_;
  ui::TTranscriptPresenter* presenter_ =
      nullptr;  // owned by the application while the session lasts
  std::unique_ptr<ui::TPresenter> previous_;
};

}  // namespace testing_support
