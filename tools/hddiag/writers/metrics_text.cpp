#include "tools/hddiag/writers/metrics_text.h"

#include <iomanip>
#include <sstream>

#include "tools/hddiag/text/text_escape.h"

namespace hddiag {

std::string MetricNumber(double value)
{
    std::ostringstream text;
    text << std::setprecision(15) << value;
    return text.str();
}

std::string MetricLabelValue(const std::string& value)
{
    std::string escaped;
    for (char c : ValidUtf8(value)) {
        if (c == '\\' || c == '"') {
            escaped += '\\';
            escaped += c;
        } else if (c == '\n') {
            escaped += "\\n";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

}  // namespace hddiag
