// The files a scan writes. --bad-blocks, --report and --metrics follow the
// rules of every output (checked and made before the first read, refused on
// a device, a folder or a file the run reads, written whole at the end and
// renamed into place). The map is the one output that is also an input: an
// existing map of the disk is read first, and every save is a new file
// renamed over the old one, so a crash at any moment leaves a whole map.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "scan/map_file.h"
#include "scan/range_map.h"
#include "scan/scan_engine.h"
#include "tools/hddiag/host/output_file.h"
#include "tools/hddiag/options/options.h"
#include "tools/hddiag/session/real_disks.h"

namespace hddiag {

class ScanFiles {
public:
    // rows: the disks to scan, one per reader, in reader order. With several
    // disks (or when --map names a folder) each disk's map lies in the
    // folder, which is made when missing. False with the reason; nothing has
    // been written then.
    bool Prepare(const Options& options, const std::vector<std::string>& inputs,
                 const std::vector<const DiskRow*>& rows, std::string& error);

    // The reader's map path; empty without --map.
    const std::string& MapPath(size_t reader) const;

    // Reads the reader's map when the file exists. False with why when it
    // cannot be read or parsed, or belongs to another disk (check says how
    // much of the disk must be the map's); loaded says whether there was one.
    // The slow areas its comment lines keep go to slow.
    bool LoadMap(size_t reader, const hdd::scan::MapIdentity& disk, hdd::scan::MapCheck check,
                 hdd::scan::RangeMap& map, bool& loaded, std::vector<hdd::scan::SlowArea>& slow,
                 std::string& why) const;

    // Puts the text at path through a new file renamed over the old one.
    static bool SaveMap(const std::string& path, const std::string& text, std::string& why);

    // The other outputs at the end; null texts are not wanted. One that
    // cannot be written is named on err as missing.
    void Write(const std::string& badBlocks, const std::string& report, const std::string& metrics,
               std::ostream& err);

    bool WantsReport() const { return m_report != nullptr; }
    bool WantsMetrics() const { return m_metrics != nullptr; }
    bool WantsBadBlocks() const { return m_badBlocks != nullptr; }
    // Leaves the bad-blocks path as it was: nothing is written there.
    void DropBadBlocks() { m_badBlocks.reset(); }

private:
    bool PrepareMaps(const std::string& mapOption, const std::vector<std::string>& inputs,
                     const std::vector<const DiskRow*>& rows, std::string& error);

    std::vector<std::string> m_maps;
    std::unique_ptr<host::NewFile> m_badBlocks;
    std::unique_ptr<host::NewFile> m_report;
    std::unique_ptr<host::NewFile> m_metrics;
};

}  // namespace hddiag
