#include "tools/hddiag/text/openmetrics.h"

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

MetricLabels& MetricLabels::Add(const std::string& name, const std::string& value)
{
    if (!text_.empty()) {
        text_ += ',';
    }
    text_ += name + "=\"" + MetricLabelValue(value) + "\"";
    return *this;
}

MetricLabels MetricLabels::With(const std::string& name, const std::string& value) const
{
    MetricLabels wider = *this;
    wider.Add(name, value);
    return wider;
}

size_t OpenMetricsText::Add(MetricFamily family, EmptyFamily empty)
{
    families_.push_back({std::move(family), empty, {}});
    return families_.size() - 1;
}

void OpenMetricsText::Sample(size_t family, const MetricLabels& labels, const std::string& value, const char* suffix)
{
    Entry& entry = families_.at(family);
    entry.samples += entry.family.name + suffix;
    if (!labels.Text().empty()) {
        entry.samples += '{' + labels.Text() + '}';
    }
    entry.samples += ' ' + value + '\n';
}

std::string OpenMetricsText::Text() const
{
    std::string text;
    for (const Entry& e : families_) {
        if (e.samples.empty() && e.empty == EmptyFamily::Omit) {
            continue;
        }
        const MetricFamily& f = e.family;
        text += "# TYPE " + f.name + ' ' + f.type + '\n';
        if (!f.unit.empty()) {
            text += "# UNIT " + f.name + ' ' + f.unit + '\n';
        }
        text += "# HELP " + f.name + ' ' + f.help + '\n' + e.samples;
    }
    return text + "# EOF\n";
}

}  // namespace hddiag
