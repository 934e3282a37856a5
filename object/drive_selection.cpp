// The object's drive selector: the selector's rules over the object's item
// list and volume table.
#include "drive/drive_selector.h"
#include "object/chdd_object.h"

namespace hdd {

HRESULT CCHDDObject::ParseDriveSelector(LONG* plResult, BSTR bstrDriveInfo, LONG* pnDisk, PartitionExtent* pExtents)
{
    return ParseSelection(m_vecVolumes, plResult, bstrDriveInfo, pnDisk, pExtents, m_vecItems, m_nItemCount);
}

HRESULT CCHDDObject::ResolvePartitionExtents(LONG* plResult, LONG nDisk, PartitionExtent* pExtents)
{
    return ResolveSelection(m_vecVolumes, plResult, nDisk, m_nItemCount, pExtents);
}

HANDLE CCHDDObject::OpenPartitionVolume(LONG nDisk, LONG nPartition)
{
    return OpenVolumeOfPartition(m_vecVolumes, nDisk, nPartition);
}

}  // namespace hdd
