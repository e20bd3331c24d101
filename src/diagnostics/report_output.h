// The report saved to a file the user chose, or printed on the default printer.
#pragma once

#include <optional>
#include <string>

namespace quorrel::diagnostics {

inline constexpr const char* kInstallPrinterText =
    "Before you can perform printer-related tasks such as page setup or printing a document, "
    "you need to install a printer.";
inline constexpr const char* kInstallPrinterCaption = "Attention!";
inline constexpr const char* kPrintJobTitle = "Diagnostics Report";

// The print system, so tests can stand in for it.
class Printer {
 public:
  virtual ~Printer() = default;
  // The name of the default printer, or none when there is none.
  virtual std::optional<std::string> defaultPrinter() = 0;
  // Hands the text file at `path` to `printer`; the file may be removed once this returns.
  virtual bool printFile(const std::string& printer, const std::string& path,
                         const std::string& title) = 0;
};

// The system's print service (CUPS).
Printer& systemPrinter();

// Writes `report` to `path` in UTF-8, owner-only since it holds device passwords, whole or not
// at all. False when it could not be written; the old file then stays.
bool writeDiagnosticsReport(const std::string& path, const std::string& report);

enum class PrintOutcome { Printed, NoPrinter, NotWritten, Refused };

// Writes `report` to a private temporary file, prints it on the default printer once it was
// written whole, and removes it. Without a default printer it tells the user to install one.
PrintOutcome printDiagnosticsReport(const std::string& report, Printer& printer);

// The folder for private temporary files: $TMPDIR when it names a folder, else /tmp.
std::string temporaryDirectory();

}  // namespace quorrel::diagnostics
