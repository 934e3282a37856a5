// OpenMetrics text, as node_exporter's textfile collector reads it, for
// every metrics file hddiag writes: families in the order they are added,
// each with its # TYPE, # UNIT and # HELP lines and its samples beneath,
// then # EOF. A command says only which series it has and their labels.
#pragma once

#include <concepts>
#include <string>
#include <utility>
#include <vector>

namespace hddiag {

// A sample's value: up to 15 significant digits, no trailing zeros.
std::string MetricNumber(double value);

// A label value: valid UTF-8 (other bytes become U+FFFD) with the format's
// three escapes.
std::string MetricLabelValue(const std::string& value);

struct MetricFamily {
    std::string name;
    std::string type;  // "gauge", "histogram"
    std::string unit;  // empty: no # UNIT line
    std::string help;
};

// Most of hddiag's families are gauges.
inline MetricFamily Gauge(std::string name, std::string unit, std::string help)
{
    return {std::move(name), "gauge", std::move(unit), std::move(help)};
}

// A series' labels as written between the braces: disk="0",device="sda".
class MetricLabels {
public:
    MetricLabels& Add(const std::string& name, const std::string& value);
    // These labels and one more, for a series of a wider family.
    MetricLabels With(const std::string& name, const std::string& value) const;
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

// Whether a family without samples is left out or still declared.
enum class EmptyFamily { Omit, Declare };

class OpenMetricsText {
public:
    // The family's number, for its samples.
    size_t Add(MetricFamily family, EmptyFamily empty = EmptyFamily::Omit);

    // name[suffix]{labels} value; no braces without labels. The suffix names
    // a histogram's _bucket, _count and _sum.
    void Sample(size_t family, const MetricLabels& labels, const std::string& value, const char* suffix = "");
    void Sample(size_t family, const MetricLabels& labels, double value, const char* suffix = "")
    {
        Sample(family, labels, MetricNumber(value), suffix);
    }
    void Sample(size_t family, const MetricLabels& labels, std::integral auto value, const char* suffix = "")
    {
        Sample(family, labels, std::to_string(value), suffix);
    }

    // The families with their samples, then # EOF.
    std::string Text() const;

private:
    struct Entry {
        MetricFamily family;
        EmptyFamily empty;
        std::string samples;
    };
    std::vector<Entry> families_;
};

}  // namespace hddiag
