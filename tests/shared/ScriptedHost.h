#pragma once
// The worker's host in tests: records what the worker shows and answers its questions from
// queues the test fills. A question the test did not expect ends the run rather than looping.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "engine/untThrd.h"

struct ScriptedHost : setup::IInstallHost {
  void SetCaption(const std::string& Text) override { Captions.push_back(Text); }
  void RepaintCaption(const std::string& Text) override { Repaints.push_back(Text); }
  void SetProgress(std::int64_t Position, std::int64_t Maximum) override {
    this->Position = Position;
    this->Maximum = Maximum;
  }
  void ProcessMessages() override {
    ++Pumps;
    if (OnPump) OnPump();
  }
  int ShowMessage(const std::string& Caption, const std::string& Text, unsigned Flags) override {
    Messages.push_back(Caption + "|" + Text);
    MessageFlags.push_back(Flags);
    if (Answers.empty()) return (Flags & 0xF) == setup::mbYesNo ? setup::idYes : setup::idAbort;
    const int Answer = Answers.front();
    Answers.pop_front();
    return Answer;
  }
  bool AskNextDisk(std::string& Folder, const std::string& FileName, bool WrongDisk) override {
    DiskPrompts.push_back(FileName + " in " + Folder + (WrongDisk ? " (not the right disk)" : ""));
    if (DiskAnswers.empty()) return false;
    Folder = DiskAnswers.front();
    DiskAnswers.pop_front();
    return true;
  }
  void Log(const std::string& Line) override { LogLines.push_back(Line); }

  // The log lines that begin with Prefix.
  std::vector<std::string> Logged(const std::string& Prefix) const {
    std::vector<std::string> Lines;
    for (const auto& Line : LogLines)
      if (Line.compare(0, Prefix.size(), Prefix) == 0) Lines.push_back(Line);
    return Lines;
  }
  std::string LastMessage() const { return Messages.empty() ? std::string() : Messages.back(); }

  std::vector<std::string> Captions, Repaints, Messages, DiskPrompts, LogLines;
  std::vector<unsigned> MessageFlags;
  std::deque<int> Answers;
  std::deque<std::string> DiskAnswers;
  std::int64_t Position = -1, Maximum = -1;
  int Pumps = 0;
  std::function<void()> OnPump;
};
