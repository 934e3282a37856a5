#include "tools/hddiag/writers/svg_charts.h"

#include <algorithm>
#include <cmath>

#include "tools/hddiag/latency/latency_text.h"

namespace hddiag {

namespace {

constexpr double kWidth = 960;
constexpr double kHeight = 260;
constexpr double kLeft = 70;
constexpr double kRight = 10;
constexpr double kTop = 10;
constexpr double kBottom = 40;

std::string Num(double value) { return FormatFixed(value, 1); }

std::string Open(double width, double height, const std::string& label)
{
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(width) + "\" height=\"" + Num(height) +
           "\" viewBox=\"0 0 " + Num(width) + " " + Num(height) + "\" role=\"img\" aria-label=\"" + label + "\">\n";
}

std::string Rect(double x, double y, double w, double h, const char* cls)
{
    return "<rect class=\"" + std::string(cls) + "\" x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" width=\"" +
           Num(std::max(w, 0.5)) + "\" height=\"" + Num(std::max(h, 0.0)) + "\"/>\n";
}

std::string Text(double x, double y, const std::string& text, const char* anchor = "start")
{
    return "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" text-anchor=\"" + anchor + "\">" + text + "</text>\n";
}

std::string Line(double x1, double y1, double x2, double y2)
{
    return "<line x1=\"" + Num(x1) + "\" y1=\"" + Num(y1) + "\" x2=\"" + Num(x2) + "\" y2=\"" + Num(y2) + "\"/>\n";
}

// Powers of ten of nanoseconds that bracket the values, for a log scale.
struct LogScale {
    double lowExp;
    double highExp;
    double Y(double ns, double top, double height) const
    {
        const double e = std::log10(std::max(ns, std::pow(10.0, lowExp)));
        return top + height - height * (e - lowExp) / (highExp - lowExp);
    }
};

}  // namespace

std::string PositionChart(const LatencySummary& latency)
{
    ULONGLONG lowest = ~0ull;
    ULONGLONG highest = 0;
    for (const PositionBucket& b : latency.positions) {
        if (b.reads > 0) {
            lowest = std::min(lowest, std::max<ULONGLONG>(b.meanNs, 1));
            highest = std::max(highest, b.maxNs);
        }
    }
    if (highest == 0 || latency.positions.empty()) {
        return std::string();
    }
    LogScale scale{std::floor(std::log10(static_cast<double>(lowest))),
                   std::ceil(std::log10(static_cast<double>(highest)))};
    if (scale.highExp <= scale.lowExp) {
        scale.highExp = scale.lowExp + 1;
    }
    const double plotW = kWidth - kLeft - kRight;
    const double plotH = kHeight - kTop - kBottom;
    const double barW = plotW / static_cast<double>(latency.positions.size());

    std::string svg = Open(kWidth, kHeight, "Latency by position");
    svg += "<g class=\"grid\">\n";
    for (double e = scale.lowExp; e <= scale.highExp; e += 1) {
        const double y = scale.Y(std::pow(10.0, e), kTop, plotH);
        svg += Line(kLeft, y, kWidth - kRight, y);
        svg += Text(kLeft - 6, y + 4, FormatLatency(static_cast<ULONGLONG>(std::pow(10.0, e) + 0.5)), "end");
    }
    svg += "</g>\n";
    const double base = kTop + plotH;
    for (size_t i = 0; i < latency.positions.size(); ++i) {
        const PositionBucket& b = latency.positions[i];
        const double x = kLeft + barW * static_cast<double>(i);
        if (b.reads > 0) {
            const double yMax = scale.Y(static_cast<double>(b.maxNs), kTop, plotH);
            const double yMean = scale.Y(static_cast<double>(b.meanNs), kTop, plotH);
            svg += Rect(x, yMax, barW * 0.9, base - yMax, "max");
            svg += Rect(x, yMean, barW * 0.9, base - yMean, "mean");
        }
        if (b.failed > 0) {
            svg += Rect(x, kTop, barW * 0.9, 6, "failed");
        }
    }
    svg += "<g class=\"axis\">\n";
    svg += Line(kLeft, base, kWidth - kRight, base);
    svg += Text(kLeft, base + 16, "sector " + std::to_string(latency.positions.front().firstSector));
    svg += Text(kWidth - kRight, base + 16, "sector " + std::to_string(latency.positions.back().lastSector), "end");
    svg += Text(kLeft + plotW / 2, base + 32,
                std::to_string(latency.sectorsPerBucket) + " sectors a bar: maximum (light), mean (dark), failed reads (red)",
                "middle");
    svg += "</g>\n</svg>\n";
    return svg;
}

std::string ClassChart(const LatencySummary& latency)
{
    constexpr size_t kBars = kLatencyClassCount + 1;
    ULONGLONG counts[kBars];
    for (size_t i = 0; i < kLatencyClassCount; ++i) {
        counts[i] = latency.classes[i];
    }
    counts[kLatencyClassCount] = latency.failedReads;
    const ULONGLONG most = *std::max_element(counts, counts + kBars);
    const double scaleTop = std::log10(static_cast<double>(std::max<ULONGLONG>(most, 1)) + 1);
    const double width = 640;
    const double height = 230;
    const double top = 20;  // room for the tallest bar's count
    const double plotH = height - top - kBottom;
    const double slot = (width - kLeft - kRight) / kBars;

    std::string svg = Open(width, height, "Reads per latency class");
    const double base = top + plotH;
    for (size_t i = 0; i < kBars; ++i) {
        const double h = counts[i] == 0 ? 0 : plotH * std::log10(static_cast<double>(counts[i]) + 1) / scaleTop;
        const double x = kLeft + slot * static_cast<double>(i);
        svg += Rect(x + slot * 0.1, base - h, slot * 0.8, h, i == kLatencyClassCount ? "failed" : "mean");
        svg += Text(x + slot / 2, base - h - 4, std::to_string(counts[i]), "middle");
        const std::string label = i == kLatencyClassCount ? std::string("failed") : LatencyClassLabel(i);
        std::string escaped;
        for (char c : label) {
            escaped += c == '<' ? std::string("&lt;") : c == '>' ? std::string("&gt;") : std::string(1, c);
        }
        svg += Text(x + slot / 2, base + 16, escaped, "middle");
    }
    svg += "<g class=\"axis\">\n" + Line(kLeft, base, width - kRight, base) +
           Text(kLeft + (width - kLeft - kRight) / 2, base + 32, "reads (logarithmic)", "middle") + "</g>\n</svg>\n";
    return svg;
}

}  // namespace hddiag
