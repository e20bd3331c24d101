// The print system on Linux: CUPS. The job is sent to the scheduler before printFile returns,
// so the caller's file can go at once.
#include <cups/cups.h>

#include "diagnostics/report_output.h"

namespace quorrel::diagnostics {

namespace {
class CupsPrinter final : public Printer {
 public:
  std::optional<std::string> defaultPrinter() override {
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    std::optional<std::string> name;
    // The user's own default (lpoptions, $PRINTER) first, then the server's.
    if (const cups_dest_t* d = cupsGetDest(nullptr, nullptr, count, dests);
        d != nullptr && d->name != nullptr)
      name = d->name;
    cupsFreeDests(count, dests);
    return name;
  }
  bool printFile(const std::string& printer, const std::string& path,
                 const std::string& title) override {
    cups_option_t* options = nullptr;
    const int n = cupsAddOption("document-format", "text/plain", 0, &options);
    const int job =
        cupsPrintFile2(CUPS_HTTP_DEFAULT, printer.c_str(), path.c_str(), title.c_str(), n, options);
    cupsFreeOptions(n, options);
    return job > 0;
  }
};
}  // namespace

Printer& systemPrinter() {
  static CupsPrinter printer;
  return printer;
}

}  // namespace quorrel::diagnostics
