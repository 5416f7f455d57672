#pragma once

#include <QByteArray>

#include <stdexcept>
#include <vector>

class QIODevice;

// A file or list error, carrying the text the user is shown.
class EReportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The report file's format: one line per result, each followed by CR LF. Lines are bytes and
// hold any byte but CR, LF and NUL.
namespace ReportFileFormat {

// The lines of a file: CR LF, a lone LF or a lone CR ends a line, a last line without a break
// counts, and a NUL ends the file.
std::vector<QByteArray> ParseLines(const QByteArray& bytes);

// The file holding exactly these lines.
QByteArray Serialise(const std::vector<QByteArray>& lines);

// Writes bytes to an open device in full; throws "Stream write error" when it cannot.
void WriteAll(QIODevice& device, const QByteArray& bytes);

} // namespace ReportFileFormat
