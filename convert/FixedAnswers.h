#pragma once

#include <string>
#include <utility>

#include "convert/RunSeams.h"

namespace quill {

// Options fixed before the run, as a command line gives them: the same answer every
// time the run asks.
class TFixedOptions : public TOptionsSource {
  public:
    TFixedOptions(bool useColors, bool pitch42, bool useBmp)
        : useColors_(useColors), pitch42_(pitch42), useBmp_(useBmp) {}
    bool UseColorsChecked() override { return useColors_; }
    bool Pitch42Checked() override { return pitch42_; }
    bool UseBmpChecked() override { return useBmp_; }

  private:
    bool useColors_;
    bool pitch42_;
    bool useBmp_;
};

// Answers the document and page names fixed beforehand; never cancels.
class TNamedFiles : public TFileChooser {
  public:
    TNamedFiles(std::string input, std::string page)
        : input_(std::move(input)), page_(std::move(page)) {}
    bool ChooseInput(std::string& fileName) override {
        fileName = input_;
        return true;
    }
    bool ChooseOutput(const std::string&, std::string& fileName) override {
        fileName = page_;
        return true;
    }

  private:
    std::string input_;
    std::string page_;
};

}  // namespace quill
