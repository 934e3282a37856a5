// The live view of the running test: the map of the sectors it reads, the
// legend and a header, redrawn in place at most about ten times a second,
// from the timing of the reads (between two reads) and from the component's
// events. It also keeps each test's final map for the report, and can do
// only that (without drawing) when standard error shows something else.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <vector>

#include "tools/hddiag/host/terminal.h"
#include "tools/hddiag/latency/latency_clock.h"
#include "tools/hddiag/latency/latency_recorder.h"
#include "tools/hddiag/latency/read_map.h"
#include "tools/hddiag/latency/timed_os.h"
#include "tools/hddiag/latency/batch_estimate.h"
#include "tools/hddiag/session/session.h"
#include "tools/hddiag/view/map_render.h"
#include "tools/hddiag/view/terminal_frame.h"

namespace hddiag {

struct MapViewSettings {
    bool draw = true;  // false: keep the maps for the report only
    ColourMode colour = ColourMode::Off;
    std::function<host::TerminalSize()> size;  // the terminal's size now
    LatencyClock* wallClock = nullptr;         // paces the frames in real time; required when drawing
    BatchEstimate* estimate = nullptr;         // hddiag's own estimate (optional)
};

class MapView final : public SessionObserver, public FrameHook {
public:
    static constexpr ULONGLONG kFrameNs = 100000000;  // 10 frames a second at most

    // clock: the reads' clock (the run's); timed: the seam timing the reads,
    // recorder: where it records them.
    MapView(std::ostream& err, LatencyClock& clock, TimedOs& timed, LatencyRecorder& recorder,
            MapViewSettings settings);
    ~MapView();
    MapView(const MapView&) = delete;
    MapView& operator=(const MapView&) = delete;

    // The report whose volumes resolve the selectors; before the tests.
    void SetReportItems(const std::vector<ReportItem>& items) { m_items = items; }

    void OnTestStart(const TestRecord& record, size_t index, size_t count) override;
    void OnEvent(INT kind, INT value, INT tag) override;
    void OnTestEnd(const TestRecord& record, size_t index, size_t count) override;
    ULONGLONG OnFrame(ULONGLONG nowNs) override;

    // By test index: the map at the test's end; empty for a test not run.
    const std::vector<std::optional<ReadMap>>& Maps() const { return m_maps; }

private:
    // Draws when a frame's time has come in real time (or always, when forced).
    void MaybeDraw(bool force);

    LatencyClock& m_clock;
    TimedOs& m_timed;
    LatencyRecorder& m_recorder;
    MapViewSettings m_settings;
    TerminalFrame m_frame;
    std::vector<ReportItem> m_items;
    ReadMap m_map;
    ViewHeader m_header;
    ULONGLONG m_testStartNs = 0;
    ULONGLONG m_lastDrawNs = 0;  // wall clock
    bool m_drawnOnce = false;
    ULONGLONG m_periodNs = kFrameNs;  // on the reads' clock, which may run faster than the wall's
    std::vector<std::optional<ReadMap>> m_maps;
};

}  // namespace hddiag
