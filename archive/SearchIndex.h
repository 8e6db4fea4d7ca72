#pragma once

#include <string>
#include <string_view>

namespace quill {

// Search over a whole site with Pagefind (a program that writes a static search bundle
// which the site's pages load in the browser). Pagefind is given every page that the
// site's record files name, as a custom record: the text the page shows, in UTF-8 whatever
// the page's kind (the classic page is cp866), with the page's address below the site, so
// that each result links to the real page. The bundle is SITE/pagefind, put in place
// whole; search in a browser then needs the site served over HTTP.
class TSearchIndex {
  public:
    // One page as Pagefind is given it.
    struct TRecord {
        std::string Url;       // below the site's root, as an address ("a/b%20c/d.htm")
        std::string Title;     // the document's file name
        std::string Text;      // what the page shows, UTF-8
        std::string Language;  // "ru", "en", or the modern page's own
    };

    // The text and language of a page of either kind, as a browser shows it: tags left
    // out, entities as their characters, codes as spaces; "ru" when it holds a Cyrillic
    // letter, otherwise "en" (the modern page says its own in its html element).
    static TRecord RecordOf(std::string_view page);

    // Indexes site and writes SITE/pagefind anew; answers the number of pages indexed.
    // program: the Pagefind program; empty: "pagefind" (or "pagefind_extended") on PATH.
    // Russian words are found in their other forms: when any page is Russian, the index
    // is Russian as a whole (its stemming leaves Latin words alone). Fails with
    // Exception: no Pagefind (saying how to install it), Pagefind's own error, or a
    // SITE/pagefind that is not a search bundle (never replaced); the bundle there is
    // then as it was.
    static int Build(const std::string& site, const std::string& program = {});
    // The Pagefind program Build runs: program, or the one on PATH; fails as Build does
    // when there is none, and where no other program can be started.
    static std::string FindProgram(const std::string& program = {});

    // The search box for an index page: its markup and script, for a page toRoot ("" or
    // "../" once for each folder) below the site's root.
    static std::string SearchBox(std::string_view toRoot);

    static constexpr const char* kBundleName = "pagefind";

  private:
    // program, or the one on PATH; fails when there is none.
    static std::string Program(const std::string& program);
};

}  // namespace quill
