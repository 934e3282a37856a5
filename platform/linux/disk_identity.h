// What a disk of this computer calls itself: its kernel name, model, serial
// number and world wide name, from udev's database (libudev) as
// node_exporter reads it, each field falling back to sysfs where udev has
// nothing (no udev daemon, as in most containers).
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace hdd::blockdev {

struct DiskIdentity {
    std::string device;  // the kernel name (sda, nvme0n1), or an image file's path
    std::string model;   // empty when unknown
    std::string serial;
    std::string wwn;
    bool operator==(const DiskIdentity&) const = default;
};

// One udev property of the disk; empty when it has none.
using UdevProperty = std::function<std::string(const char* name)>;

// Model from ID_MODEL_ENC (its \xHH escapes decoded) or else ID_MODEL,
// serial from ID_SERIAL_SHORT, wwn from ID_WWN; fields udev lacks stay as
// they are.
void FillFromUdev(const UdevProperty& property, DiskIdentity& identity);

// The fields still empty, from the disk's sysfs folder block
// (/sys/block/NAME): model and serial of an ATA disk from its IDENTIFY data
// in the ATA information page (device/vpd_pg89); else model from
// device/vendor and device/model (without libata's placeholder vendor "ATA";
// a loop device: its backing file), serial from device/serial, serial
// (virtio) or the SCSI serial number page (device/vpd_pg80); wwn from wwid or device/wwid, an NAA name
// written as udev writes it ("naa.5000c500..." becomes "0x5000c500...").
void FillFromSysfs(const std::filesystem::path& block, DiskIdentity& identity);

// The disk with kernel name name and sysfs folder block: udev's properties,
// then sysfs for what they lack.
DiskIdentity IdentifyDisk(const std::string& name, const std::filesystem::path& block);

}  // namespace hdd::blockdev
