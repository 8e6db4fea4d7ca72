#pragma once

#include <optional>
#include <string>
#include <vector>

#include "convert/ByteScan.h"
#include "convert/ConversionRun.h"
#include "convert/RunSeams.h"
#include "convert/RunSettings.h"
#include "platform/Exception.h"
#include "support/TestSupport.h"

namespace quill::test {

// Options with fixed answers that log every question, so tests can see when they come.
class TLoggingOptions : public TOptionsSource {
  public:
    explicit TLoggingOptions(std::vector<std::string>& log) : log_(log) {}
    bool UseColorsChecked() override { return Note("colors", colors); }
    bool Pitch42Checked() override { return Note("pitch", pitch42); }
    bool UseBmpChecked() override { return Note("bmp", bmp); }
    bool colors = false;
    bool pitch42 = false;
    bool bmp = false;

  private:
    bool Note(const char* what, bool answer) {
        log_.push_back(what);
        return answer;
    }
    std::vector<std::string>& log_;
};

// Answers fixed names (nullopt: cancels) and remembers the proposed page name.
class TLoggingChooser : public TFileChooser {
  public:
    explicit TLoggingChooser(std::vector<std::string>& log) : log_(log) {}
    bool ChooseInput(std::string& fileName) override {
        log_.push_back("input");
        if (!input) return false;
        fileName = *input;
        return true;
    }
    bool ChooseOutput(const std::string& proposedName, std::string& fileName) override {
        log_.push_back("output");
        proposed = proposedName;
        if (!page) return false;
        fileName = *page;
        return true;
    }
    std::optional<std::string> input;
    std::optional<std::string> page;
    std::string proposed;

  private:
    std::vector<std::string>& log_;
};

struct TSettings {
    bool colors = false;
    bool pitch42 = false;
    bool bmp = false;
    TPageStyle style = TPageStyle::Quilloc;
    TRunSettings run = {};
    TCommitGate* gate = nullptr;
};

// One real run over real files in a temporary folder.
struct TConverted {
    TRunResult result;
    std::string page;   // the page's bytes ("" when none was written)
    std::string error;  // the message of the run's exception, if any
    std::vector<std::string> log;
    std::string proposed;
};

inline TConverted ConvertFile(const std::string& input, const std::string& pageName,
                              const TSettings& settings = {}) {
    TConverted out;
    TLoggingOptions options(out.log);
    options.colors = settings.colors;
    options.pitch42 = settings.pitch42;
    options.bmp = settings.bmp;
    TLoggingChooser chooser(out.log);
    chooser.input = input;
    chooser.page = pageName;
    TConversionRun run(options, chooser, settings.style, settings.run, settings.gate);
    try {
        out.result = run.Run();
    } catch (const Exception& e) {
        out.error = e.Message();
    }
    out.proposed = chooser.proposed;
    if (std::filesystem::is_regular_file(pageName)) out.page = ToString(ReadFileBytes(pageName));
    return out;
}

inline TConverted Convert(const TempDir& dir, const std::string& document,
                          const TSettings& settings = {}, const std::string& name = "doc") {
    WriteFileBytes(dir.File(name), ToBytes(document));
    return ConvertFile(dir.File(name), dir.File("page.htm"), settings);
}

// The page between the header (up to "<pre>\r\n") and the footer, when both are there.
inline std::string Body(const std::string& page) {
    const std::string open = "<body><pre>\r\n";
    const std::string footer = "\r\n</pre></body></html>";
    const size_t start = page.find(open);
    if (start == std::string::npos) return "<no header>";
    std::string body = page.substr(start + open.size());
    if (body.size() < footer.size() ||
        body.compare(body.size() - footer.size(), footer.size(), footer) != 0)
        return "<no footer>" + body;
    body.resize(body.size() - footer.size());
    return body;
}

}  // namespace quill::test
