#!/usr/bin/env python3
"""Writes the report field catalogue (resources/resources/report_columns.csv) and the field table the
stand-in console's report generator uses (tools/mc-standin/catalogue_fields.inc), from one list, so
every search path in the catalogue names data the generated reports really carry.

Run from anywhere: python3 scripts/gen_report_columns.py
"""
import collections
import csv
import io
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

EQ_LIKE = "eq, like"
EQ_NEQ_LT_GT = "eq, neq, lt, gt"
EQ_NEQ = "eq, neq"

# Report kinds that carry a field (the stand-in generates both).
MOBILE, COMPUTER, BOTH = "m", "c", "mc"

rows = []  # (category, path, label, description, type, operators, kinds, values)


def add(category, path, label, desc, dtype="string", ops=None, kinds=BOTH, values=None):
    if ops is None:
        ops = EQ_LIKE if dtype == "string" else EQ_NEQ_LT_GT
    rows.append((category, path, label, desc, dtype, ops, kinds, values or []))


def group(category, prefix, fields, kinds, what):
    """fields: (name, label, type[, values])"""
    for f in fields:
        name, label, dtype = f[0], f[1], f[2]
        values = f[3] if len(f) > 3 else None
        add(category, prefix + name, label, f"{label} of the {what}", dtype, kinds=kinds, values=values)


S, U = "string", "uint"
MOBILE_ERASER = "Korvex Mobile Eraser"
DRIVE_ERASER = "Korvex Drive Eraser"
SERVER_ERASER = "Korvex Server Eraser"
MOBILE_DIAG = "Korvex Mobile Diagnostics"

# --- The console's own columns -------------------------------------------------------------------
Z = "ZMC SPECIFIC REPORT VALUES"
add(Z, "report.date", "Date", "Date the report was stored in the console", "date", EQ_NEQ_LT_GT, "")
add(Z, "report.id", "Report ID", "Number of the report in the console", U, EQ_NEQ_LT_GT, "")
add(Z, "report.is_edited", "Is edited", "Report edited status (false=not edited, true=edited)", S, EQ_LIKE, "")
add(Z, "report.owner_id", "Owner", "Console user that owns the report", U, EQ_NEQ_LT_GT, "")
add(Z, "report.product_id", "Product Name", "Product that created the report", U, EQ_NEQ_LT_GT, "")
add(Z, "report.product_revision", "Product Revision", "Revision of the product that created the report", S, EQ_LIKE, "")
add(Z, "report.product_version", "Product Version", "Version of the product that created the report", S, EQ_LIKE, "")
add(Z, "report.report_date", "Date", "Date the product created the report", "date", EQ_NEQ_LT_GT, "")
add(Z, "report.status_id", "Report State", "State of the report in the console", U, EQ_NEQ_LT_GT, "")
add(Z, "report.uuid", "Report UUID", "Unique document id of the report", S, EQ_LIKE, "")
add(Z, "report.was_exported", "Was Exported", "Export status (0=not exported, 1=exported)", U, EQ_NEQ, "")

# --- Description --------------------------------------------------------------------------------
group("DESCRIPTION", "korvex_data.description.description_entries.", [
    ("operator", "Operator", S, ["station-01", "station-04", "station-07", "station-12"]),
    ("location", "Location", S, ["Line 1, Bay 2", "Line 2, Bay 4", "Line 3, Bay 1"]),
    ("comments", "Comments", S, ["Cosmetic grade A", "Cosmetic grade B, screen scratch", "Grade C, dented frame"]),
    ("customer", "Customer", S, ["Northwind Refurb", "Contoso Leasing", "Fabrikam Recycling"]),
    ("order_number", "Order number", S),
    ("technician", "Technician", S, ["A. Moreau", "J. Lindqvist", "P. Okafor"]),
    ("site", "Site", S, ["Rotterdam", "Leeds", "Lyon"]),
    ("batch", "Batch", S),
], BOTH, "report description")

# --- Erasure ----------------------------------------------------------------------------------------
ER = "korvex_data.korvex_erasure_report.erasures.erasure."
erasure_fields = [
    ("timestamp", "Erasure start time", S), ("elapsed_time", "Erasure duration", S),
    ("erasure_standard_name", "Erasure standard", S, ["Cryptographic erasure", "NIST 800-88 Purge", "NIST 800-88 Clear", "DoD 5220.22-M", "HMG Infosec Standard 5, Higher Standard"]),
    ("overwriting_rounds", "Overwriting rounds", U), ("state", "Erasure state", S, ["Successful", "Failed"]),
    ("end_time", "Erasure end time", S), ("verification_rounds", "Verification rounds", U),
    ("erasure_method_id", "Erasure method id", U), ("error_count", "Error count", U),
    ("warning_count", "Warning count", U), ("bytes_erased", "Bytes erased", U),
    ("bytes_verified", "Bytes verified", U), ("hidden_areas_erased", "Hidden areas erased", S, ["yes", "no"]),
    ("remapped_sectors_erased", "Remapped sectors erased", S, ["yes", "no"]),
    ("freeze_lock_removed", "Freeze lock removed", S, ["yes", "no"]),
    ("firmware_erase_used", "Firmware erase used", S, ["yes", "no"]),
    ("erasure_license_used", "Erasure license used", S, ["yes", "no"]),
    ("operator_signature", "Operator signature", S), ("erasure_id", "Erasure ID", U),
    ("session_id", "Session ID", S), ("station_name", "Station name", S),
    ("software_version", "Software version", S, ["7.2.0", "7.1.4", "6.9.2"]),
    ("fingerprint", "Fingerprint", S), ("result_code", "Result code", U),
    ("result_message", "Result message", S, ["Completed", "Completed with warnings", "Aborted by user"]),
]
target_fields = [
    ("serial", "Target serial number", S), ("vendor", "Vendor", S, ["Apple", "Samsung", "Seagate", "Western Digital", "Kingston"]),
    ("capacity", "Capacity", U), ("kind", "Target kind", S, ["Internal memory", "SSD", "HDD", "NVMe"]),
    ("model", "Target model", S), ("firmware", "Firmware", S), ("interface_type", "Interface", S, ["SATA", "NVMe", "SAS", "USB"]),
    ("sector_size", "Sector size", U), ("sector_count", "Sector count", U),
    ("rotation_rate", "Rotation rate", U), ("health", "Health", S, ["Good", "Warning", "Failing"]),
    ("power_on_hours", "Power-on hours", U), ("temperature", "Temperature", U),
    ("partition_count", "Target partition count", U), ("encrypted", "Target encrypted", S, ["yes", "no"]),
    ("removable", "Target removable", S, ["yes", "no"]), ("location_path", "Target location", S),
    ("bus_number", "Target bus number", U), ("port_number", "Target port number", U),
    ("smart_status", "SMART status", S, ["OK", "Failed"]),
]
detail_fields = [
    ("verification", "Verification", S, ["Successful", "Failed"]), ("verified_percentage", "Verified percentage", U),
    ("verification_method", "Verification method", S, ["Full", "Partial 10%", "Partial 1%"]),
    ("verification_errors", "Verification errors", U), ("blocks_verified", "Blocks verified", U),
    ("blocks_failed", "Blocks failed", U), ("write_speed", "Write speed", S, ["312 MB/s", "148 MB/s", "1.2 GB/s"]), ("read_speed", "Read speed", S, ["498 MB/s", "205 MB/s", "2.1 GB/s"]),
    ("pattern", "Overwrite pattern", S, ["zeros", "random", "ones"]), ("certificate_id", "Certificate ID", S),
    ("hash_algorithm", "Hash algorithm", S, ["SHA-256", "SHA-512"]), ("hash_value", "Hash value", S),
    ("started_by", "Started by", S), ("approved_by", "Approved by", S),
    ("customer_reference", "Customer reference", S), ("notes", "Notes", S), ("asset_tag", "Asset tag", S),
    ("lot_number", "Lot number", S), ("erasure_location", "Erasure location", S),
    ("compliance_level", "Compliance level", S, ["Clear", "Purge"]), ("retries", "Retries", U),
    ("bad_sectors", "Bad sectors", U), ("pass_count", "Pass count", U), ("final_pass", "Final pass", S, ["verify", "overwrite"]),
    ("attestation", "Attestation", S),
]
E = "ERASURE REPORT - ERASURE INFORMATION"
group(E, ER, erasure_fields, BOTH, "erasure")
group(E, ER + "target.", target_fields, BOTH, "erased target")
group(E, ER + "erasure_details.", detail_fields, BOTH, "erasure details")

# --- Hardware ---------------------------------------------------------------------------------------
HW = "korvex_data.korvex_hardware_report."
group("HARDWARE REPORT - BATTERY INFORMATION", HW + "batteries.battery.", [
    ("serial", "Serial number", S), ("design_capacity", "Design capacity", U), ("current_capacity", "Current capacity", U),
    ("cycle_count", "Cycle count", U), ("battery_health", "Battery health", U), ("battery_vendor", "Battery vendor", S, ["ATL", "Sunwoda", "LG Chem", "Samsung SDI"]),
    ("battery_model", "Battery model", S), ("chemistry", "Chemistry", S, ["Li-ion", "Li-Po"]), ("voltage", "Voltage", U),
    ("charge_level", "Charge level", U), ("charging_state", "Charging state", S, ["charging", "full", "discharging"]),
    ("battery_temperature", "Battery temperature", U), ("manufacture_date", "Manufacture date", S),
    ("wear_level", "Wear level", U), ("full_charge_capacity", "Full charge capacity", U),
    ("battery_status", "Battery status", S, ["Good", "Replace soon", "Replace now"]),
    ("power_source", "Power source", S, ["battery", "AC"]), ("battery_test", "Battery test", S, ["successful", "failed"]),
], BOTH, "battery")
group("HARDWARE REPORT - BIOS INFORMATION", HW + "bios.", [
    ("bios_vendor", "BIOS vendor", S, ["American Megatrends", "Phoenix", "Dell Inc.", "HP"]),
    ("bios_version", "BIOS version", S), ("bios_release", "BIOS release date", S),
    ("bios_revision", "BIOS revision", S), ("bios_mode", "BIOS mode", S, ["UEFI", "Legacy"]),
], COMPUTER, "BIOS")
disk_fields = [
    ("serial", "Serial number", S), ("vendor", "Vendor", S, ["Seagate", "Western Digital", "Samsung", "Kingston", "Toshiba"]),
    ("model", "Model", S), ("capacity", "Capacity", U), ("firmware", "Firmware", S), ("interface_type", "Interface", S, ["SATA", "NVMe", "SAS"]),
    ("disk_type", "Disk type", S, ["SSD", "HDD", "NVMe"]), ("sector_size", "Sector size", U), ("sector_count", "Sector count", U),
    ("rotation_rate", "Rotation rate", U), ("health", "Health", S, ["Good", "Warning", "Failing"]),
    ("power_on_hours", "Power-on hours", U), ("temperature", "Temperature", U), ("smart_status", "SMART status", S, ["OK", "Failed"]),
    ("reallocated_sectors", "Reallocated sectors", U), ("pending_sectors", "Pending sectors", U),
    ("uncorrectable_errors", "Uncorrectable errors", U), ("start_stop_count", "Start/stop count", U),
    ("load_cycle_count", "Load cycle count", U), ("power_cycle_count", "Power cycle count", U),
    ("total_written", "Total written", U), ("total_read", "Total read", U), ("wear_leveling", "Wear leveling count", U),
    ("remaining_life", "Remaining life", U), ("form_factor", "Form factor", S, ["2.5 inch", "3.5 inch", "M.2 2280"]),
    ("link_speed", "Link speed", S, ["6.0 Gb/s", "3.0 Gb/s", "PCIe 3.0 x4"]), ("encrypted", "Encrypted", S, ["yes", "no"]),
    ("encryption_type", "Encryption type", S, ["none", "OPAL", "ATA password"]), ("security_state", "Security state", S, ["not frozen", "frozen"]),
    ("hpa_present", "HPA present", S, ["yes", "no"]), ("dco_present", "DCO present", S, ["yes", "no"]),
    ("trim_supported", "TRIM supported", S, ["yes", "no"]), ("removable", "Removable", S, ["yes", "no"]),
    ("partition_count", "Partition count", U), ("partition_scheme", "Partition scheme", S, ["GPT", "MBR"]),
    ("bus_number", "Bus number", U), ("port_number", "Port number", U), ("location_path", "Location path", S),
    ("wwn", "World wide name", S), ("cache_size", "Cache size", S, ["64 MB", "256 MB", "1 GB"]), ("max_speed", "Maximum speed", S, ["550 MB/s", "210 MB/s", "3.5 GB/s"]),
    ("average_speed", "Average speed", S, ["480 MB/s", "180 MB/s", "2.9 GB/s"]), ("erase_time_estimate", "Erase time estimate", U),
    ("disk_test", "Disk test", S, ["successful", "failed"]), ("disk_test_duration", "Disk test duration", S),
    ("slot", "Slot", S), ("controller_id", "Controller ID", U),
]
group("HARDWARE REPORT - DISK INFORMATION", HW + "disks.disk.", disk_fields, COMPUTER, "disk")

tests = ["camera_front", "camera_rear", "touch_screen", "speaker", "microphone", "earpiece", "vibration",
         "proximity_sensor", "light_sensor", "accelerometer", "gyroscope", "compass", "gps", "wifi", "bluetooth",
         "nfc", "cellular", "sim_reader", "flashlight", "face_id", "fingerprint_reader", "volume_up_button",
         "volume_down_button", "power_button", "home_button", "mute_switch", "headphone_jack", "charging_port",
         "wireless_charging", "display_pixels", "display_brightness", "multi_touch", "lcd_color", "barometer",
         "battery_charge", "audio_loopback", "keyboard", "touchpad", "usb_ports", "webcam", "hdmi_output",
         "memory_test", "cpu_stress", "fan", "lid_sensor"]
HT = "HARDWARE REPORT - HARDWARE TESTS INFORMATION"
add(HT, HW + "hardware_tests.summary", "Hardware test summary", "Overall result of the hardware tests (successful, failed, not performed)", S)
add(HT, HW + "hardware_tests.testing_duration", "Testing duration", "Duration of the hardware tests", S)
add(HT, HW + "hardware_tests.tested_by", "Tested by", "Operator who ran the hardware tests", S)
for t in tests:
    add(HT, HW + "hardware_tests." + t, t.replace("_", " ").capitalize() + " test",
        f"Result of the {t.replace('_', ' ')} test", S, values=["successful", "failed", "not performed"])
group("HARDWARE REPORT - MEMORY INFORMATION", HW + "memory.memory_bank.", [
    ("bank_size", "Memory size", U), ("bank_type", "Memory type", S, ["DDR4", "DDR5", "LPDDR4X"]), ("bank_speed", "Memory speed", U),
    ("bank_slot", "Memory slot", S, ["DIMM0", "DIMM1", "ChannelA-DIMM0"]), ("bank_vendor", "Memory vendor", S, ["Samsung", "SK Hynix", "Micron"]),
    ("bank_serial", "Memory serial number", S),
], COMPUTER, "memory bank")
group("HARDWARE REPORT - MOTHERBOARD INFORMATION", HW + "motherboard.", [
    ("board_vendor", "Motherboard vendor", S, ["Dell Inc.", "HP", "Lenovo", "ASUSTeK"]), ("board_model", "Motherboard model", S),
    ("board_serial", "Motherboard serial number", S), ("board_version", "Motherboard version", S),
], COMPUTER, "motherboard")
group("HARDWARE REPORT - NETWORK INTERFACE INFORMATION", HW + "network_interfaces.network_interface.", [
    ("interface_name", "Interface name", S, ["eth0", "wlan0", "enp3s0"]), ("mac_address", "MAC address", S), ("nic_vendor", "Network vendor", S, ["Intel", "Realtek", "Broadcom"]),
    ("nic_model", "Network model", S), ("link_state", "Link state", S, ["up", "down"]), ("link_speed_mbps", "Link speed (Mbit/s)", U),
    ("duplex", "Duplex", S, ["full", "half"]), ("ip_address", "IP address", S), ("ipv6_address", "IPv6 address", S), ("netmask", "Netmask", S),
    ("gateway", "Gateway", S), ("dns_server", "DNS server", S), ("dhcp", "DHCP", S, ["yes", "no"]), ("nic_driver", "Driver", S),
    ("nic_firmware", "Network firmware", S), ("wireless", "Wireless", S, ["yes", "no"]), ("ssid", "SSID", S),
    ("signal_strength", "Signal strength", U), ("mtu", "MTU", U), ("rx_bytes", "Received bytes", U), ("tx_bytes", "Sent bytes", U),
    ("pxe_capable", "PXE capable", S, ["yes", "no"]),
], COMPUTER, "network interface")
group("HARDWARE REPORT - OPTICAL DRIVE INFORMATION", HW + "optical_drives.optical_drive.", [
    ("optical_vendor", "Optical drive vendor", S, ["LG", "ASUS", "HL-DT-ST"]), ("optical_model", "Optical drive model", S),
    ("optical_serial", "Optical drive serial number", S), ("optical_firmware", "Optical drive firmware", S),
    ("optical_type", "Optical drive type", S, ["DVD-RW", "BD-RE"]), ("reads_cd", "Reads CD", S, ["yes", "no"]), ("reads_dvd", "Reads DVD", S, ["yes", "no"]),
    ("reads_bd", "Reads Blu-ray", S, ["yes", "no"]), ("writes_cd", "Writes CD", S, ["yes", "no"]), ("writes_dvd", "Writes DVD", S, ["yes", "no"]),
    ("writes_bd", "Writes Blu-ray", S, ["yes", "no"]), ("optical_interface", "Optical drive interface", S, ["SATA", "USB"]),
    ("media_present", "Media present", S, ["yes", "no"]), ("optical_test", "Optical drive test", S, ["successful", "failed"]),
], COMPUTER, "optical drive")
group("HARDWARE REPORT - OTHER DRIVE INFORMATION", HW + "other_devices.other_device.", [
    ("other_vendor", "Device vendor", S), ("other_model", "Device model", S), ("other_serial", "Device serial number", S),
    ("other_type", "Device type", S, ["card reader", "USB stick", "tape"]), ("other_capacity", "Device capacity", U), ("other_interface", "Device interface", S, ["USB", "SATA"]),
], COMPUTER, "other drive")
group("HARDWARE REPORT - PORT INFORMATION", HW + "ports.port.", [
    ("port_type", "Port type", S, ["USB-A", "USB-C", "HDMI", "DisplayPort", "RJ45"]), ("port_count", "Port count", U),
    ("port_version", "Port version", S, ["2.0", "3.0", "3.2"]), ("port_test", "Port test", S, ["successful", "failed"]), ("port_label", "Port label", S),
], COMPUTER, "port")
group("HARDWARE REPORT - PROCESSOR INFORMATION", HW + "processors.processor.", [
    ("cpu_vendor", "Processor vendor", S, ["Intel", "AMD", "Apple", "Qualcomm"]), ("cpu_model", "Processor model", S), ("cpu_family", "Processor family", S),
    ("cpu_cores", "Cores", U), ("cpu_threads", "Threads", U), ("cpu_speed", "Processor speed", U), ("cpu_max_speed", "Maximum processor speed", U),
    ("cpu_socket", "Socket", S), ("cpu_architecture", "Architecture", S, ["x86_64", "arm64"]), ("cpu_serial", "Processor serial number", S),
    ("cpu_stepping", "Stepping", U), ("cpu_l1_cache", "L1 cache", U), ("cpu_l2_cache", "L2 cache", U), ("cpu_l3_cache", "L3 cache", U),
    ("cpu_virtualization", "Virtualization", S, ["yes", "no"]), ("cpu_temperature", "Processor temperature", U),
    ("cpu_microcode", "Microcode", S), ("cpu_test", "Processor test", S, ["successful", "failed"]), ("cpu_count", "Processor count", U),
], COMPUTER, "processor")
group("HARDWARE REPORT - SOUND CARD INFORMATION", HW + "sound_cards.sound_card.", [
    ("sound_vendor", "Sound card vendor", S, ["Realtek", "Intel", "Conexant"]), ("sound_model", "Sound card model", S), ("sound_driver", "Sound card driver", S),
    ("sound_inputs", "Sound inputs", U), ("sound_outputs", "Sound outputs", U), ("sound_test", "Sound test", S, ["successful", "failed"]), ("sound_bus", "Sound card bus", S, ["PCI", "USB"]),
], COMPUTER, "sound card")
group("HARDWARE REPORT - STORAGE CONTROLLER INFORMATION", HW + "storage_controllers.storage_controller.", [
    ("controller_vendor", "Controller vendor", S, ["Intel", "LSI", "Broadcom", "Marvell"]), ("controller_model", "Controller model", S),
    ("controller_type", "Controller type", S, ["AHCI", "RAID", "NVMe", "SAS HBA"]), ("controller_driver", "Controller driver", S),
    ("controller_firmware", "Controller firmware", S), ("controller_serial", "Controller serial number", S), ("controller_ports", "Controller ports", U),
    ("raid_level", "RAID level", S, ["none", "RAID 1", "RAID 5"]), ("raid_mode", "RAID mode", S, ["HBA", "RAID"]),
    ("controller_bus", "Controller bus", S, ["PCIe", "onboard"]), ("controller_slot", "Controller slot", S),
], COMPUTER, "storage controller")
SYS = HW + "system."
group("HARDWARE REPORT - SYSTEM INFORMATION", SYS, [
    ("name", "Device name", S), ("manufacturer", "Manufacturer", S), ("model", "Model", S), ("serial", "Serial number", S),
    ("uuid", "System UUID", S), ("chassis_type", "Chassis type", S), ("identifier", "Product identifier", S), ("ram", "RAM", S),
    ("device_color", "Color", S),
], BOTH, "system")
group("HARDWARE REPORT - VIDEO CARD INFORMATION", HW + "video_cards.video_card.", [
    ("video_vendor", "Video card vendor", S, ["NVIDIA", "AMD", "Intel"]), ("video_model", "Video card model", S), ("video_memory", "Video memory", U),
    ("video_driver", "Video driver", S), ("video_bios", "Video BIOS", S), ("video_resolution", "Resolution", S, ["1920x1080", "2560x1440"]),
    ("video_outputs", "Video outputs", U), ("video_bus", "Video bus", S, ["PCIe", "onboard"]), ("video_serial", "Video card serial number", S),
    ("video_test", "Video test", S, ["successful", "failed"]), ("video_temperature", "Video temperature", U),
], COMPUTER, "video card")
group("HARDWARE REPORT - VOLUME INFORMATION", HW + "volumes.volume.", [
    ("volume_label", "Volume label", S), ("volume_letter", "Drive letter", S, ["C:", "D:", "E:"]), ("volume_file_system", "File system", S, ["NTFS", "ext4", "APFS"]),
    ("volume_size", "Volume size", U), ("volume_free", "Free space", U), ("volume_used", "Used space", U), ("volume_serial", "Volume serial number", S),
    ("volume_encrypted", "Volume encrypted", S, ["yes", "no"]), ("volume_boot", "Boot volume", S, ["yes", "no"]),
    ("volume_mount", "Mount point", S), ("volume_disk", "Volume disk", S),
], COMPUTER, "volume")

add("ISSUE REPORT", "korvex_data.korvex_issue_report.issues.problem_description", "Problem description",
    "Description of the problem the operator reported", S, kinds="i")

# Fields of the older report layout that the console still indexes; the products write them beside
# the current ones.
LG = "LEGACY VALUES"
add(LG, "korvex_data.description.document_id", "Document ID", "Document id of the report", S, kinds="")
for name, label, dtype in [
    ("imei", "IMEI", S), ("imei_two", "IMEI 2", S), ("meid", "MEID", S), ("market_name", "Market name", S),
    ("carrier", "Carrier", S), ("os_version", "OS version", S), ("storage", "Storage", S), ("grade", "Grade", S),
    ("erasure_result", "Erasure result", S), ("erasure_method", "Erasure method", S), ("erasure_time", "Erasure time", S),
    ("passes", "Passes", U), ("started", "Start time", S), ("ended", "End time", S), ("operator_name", "Operator name", S),
    ("station", "Station", S), ("customer_name", "Customer name", S), ("po_number", "PO number", S), ("lot", "Lot", S),
    ("pallet", "Pallet", S), ("box", "Box", S), ("asset_number", "Asset number", S), ("device_type", "Device type", S),
    ("form_factor_legacy", "Form factor (legacy)", S), ("capacity_gb", "Capacity (GB)", U), ("battery_cycles", "Battery cycles", U),
    ("battery_health_percent", "Battery health (%)", U), ("locked", "Locked", S), ("jailbroken", "Jailbroken", S),
    ("rooted", "Rooted", S), ("frp_state", "FRP state", S), ("icloud_state", "iCloud state", S), ("mdm_state", "MDM state", S),
    ("blacklist_state", "Blacklist state", S), ("warranty_state", "Warranty state", S), ("cosmetic_grade", "Cosmetic grade", S),
    ("functional_grade", "Functional grade", S), ("test_result", "Test result", S), ("tests_failed", "Tests failed", U),
    ("tests_passed", "Tests passed", U), ("firmware_version", "Firmware version", S), ("baseband_version", "Baseband version", S),
    ("bootloader_version", "Bootloader version", S), ("kernel_version", "Kernel version", S), ("build_number", "Build number", S),
    ("security_patch", "Security patch", S), ("sim_state", "SIM state", S), ("esim_present", "eSIM present", S)]:
    ops = EQ_NEQ if name in ("locked", "jailbroken", "rooted", "esim_present") else None
    add(LG, "korvex_data.korvex_legacy_report.legacy_values." + name, label, f"{label} as older products reported it", dtype, ops,
        values={"locked": ["yes", "no"], "jailbroken": ["yes", "no"], "rooted": ["yes", "no"], "esim_present": ["yes", "no"]}.get(name))

group("SOFTWARE REPORT - OPERATING SYSTEM INFORMATION", "korvex_data.korvex_software_report.operating_system.", [
    ("os_name", "Operating system", S, ["iOS", "Android", "Windows 11 Pro", "Ubuntu"]), ("os_release", "Operating system version", S),
    ("os_build", "Operating system build", S), ("os_architecture", "Operating system architecture", S, ["arm64", "x86_64"]),
    ("os_language", "Operating system language", S, ["en-US", "de-DE", "fr-FR"]), ("os_license", "Operating system license", S),
    ("os_install_date", "Operating system install date", S), ("os_activation", "Activation state", S, ["activated", "not activated"]),
], BOTH, "operating system")

CF = "USER DATA - CUSTOM FIELDS"
for i in range(1, 26):
    add(CF, f"user_data.fields.extra{i}.title", f"Custom field {i} title", f"Title of custom field {i}", S)
    add(CF, f"user_data.fields.extra{i}.value", f"Custom field {i} value", f"Value of custom field {i}", S)
RT = "USER DATA - CUSTOM FIELDS (REPORT TEMPLATES)"
for name, label in [("customer_id", "Customer ID"), ("customer_name", "Customer"), ("order_id", "Order ID"), ("order_line", "Order line"),
                    ("ticket", "Ticket"), ("contract", "Contract"), ("cost_center", "Cost center"), ("department", "Department"),
                    ("site_code", "Site code"), ("pickup_date", "Pickup date"), ("received_date", "Received date"),
                    ("shipping_id", "Shipping ID"), ("pallet_id", "Pallet ID"), ("box_id", "Box ID"), ("grade", "Grade"),
                    ("price_class", "Price class"), ("destination", "Destination"), ("disposition", "Disposition"),
                    ("seal_number", "Seal number"), ("audit_id", "Audit ID"), ("buyer", "Buyer"), ("remarks", "Remarks")]:
    add(RT, "user_data.template_fields." + name, label, f"{label} from the report template", S)
for i in range(1, 6):
    add("USER DATA - INFO FIELDS", f"user_data.fields.info{i}", f"Info {i}", f"Info field {i} entered by the operator", S)

# --- Product-qualified categories --------------------------------------------------------------------
EM = f"{E} ({MOBILE_ERASER})"
group(EM, ER, [("sim_removed", "SIM removed", S, ["yes", "no"]), ("factory_reset", "Factory reset", S, ["yes", "no"]),
               ("activation_lock_removed", "Activation lock removed", S, ["yes", "no"]), ("restore_firmware", "Restored firmware", S),
               ("erasure_mode", "Erasure mode", S, ["recovery", "normal"]), ("connection_type", "Connection type", S, ["USB", "Wi-Fi"]),
               ("reboot_count", "Reboot count", U), ("mobile_erasure_time", "Mobile erasure time", U)], MOBILE, "mobile erasure")
ED = f"{E} ({DRIVE_ERASER}, {SERVER_ERASER})"
group(ED, ER, [("boot_medium", "Boot medium", S, ["USB", "PXE", "ISO"]), ("license_type", "License type", S, ["subscription", "perpetual"]),
               ("parallel_erasures", "Parallel erasures", U), ("power_loss_count", "Power loss count", U),
               ("erasure_queue_position", "Queue position", U), ("drive_bay", "Drive bay", S), ("erasure_host", "Erasure host", S),
               ("remote_console", "Remote console", S, ["yes", "no"]), ("verification_percentage", "Verification percentage", U),
               ("wipe_profile", "Wipe profile", S, ["Default", "Fast", "Thorough"])], COMPUTER, "drive erasure")
group(f"HARDWARE REPORT - BIOS INFORMATION ({DRIVE_ERASER})", HW + "bios.", [
    ("secure_boot", "Secure boot", S, ["enabled", "disabled"]), ("tpm_version", "TPM version", S, ["2.0", "1.2", "none"]),
    ("bios_password", "BIOS password set", S, ["yes", "no"]), ("boot_order", "Boot order", S), ("bios_asset_tag", "BIOS asset tag", S),
    ("bios_language", "BIOS language", S)], COMPUTER, "BIOS")
group(f"HARDWARE REPORT - DISK INFORMATION ({DRIVE_ERASER}, {SERVER_ERASER})", HW + "disks.disk.", [
    ("disk_index", "Disk index", U), ("disk_group", "Disk group", S), ("sanitize_supported", "Sanitize supported", S, ["yes", "no"]),
    ("crypto_erase_supported", "Crypto erase supported", S, ["yes", "no"]), ("enhanced_erase_supported", "Enhanced erase supported", S, ["yes", "no"]),
    ("ata_security_supported", "ATA security supported", S, ["yes", "no"]), ("disk_status", "Disk status", S, ["Erased", "Failed", "Skipped"]),
    ("disk_serial_reported", "Reported serial number", S), ("disk_capacity_reported", "Reported capacity", U), ("disk_label", "Disk label", S)], COMPUTER, "disk")
group(f"HARDWARE REPORT - DISK INFORMATION ({SERVER_ERASER})", HW + "disks.disk.", [
    ("enclosure_id", "Enclosure ID", U), ("enclosure_slot", "Enclosure slot", U), ("multipath", "Multipath", S, ["yes", "no"]),
    ("sas_address", "SAS address", S), ("lun", "LUN", U), ("raid_member", "RAID member", S, ["yes", "no"]), ("hot_spare", "Hot spare", S, ["yes", "no"]),
    ("disk_vendor_id", "Vendor ID", S), ("disk_product_id", "Product ID", S)], COMPUTER, "server disk")
group(f"HARDWARE REPORT - SYSTEM INFORMATION ({MOBILE_ERASER}, {MOBILE_DIAG})", SYS, [
    ("market_name", "Market name", S), ("internal_model", "Internal model", S), ("a_model_number", "Model number", S), ("imei", "IMEI", S),
    ("imei_two", "IMEI 2", S), ("meid", "MEID", S), ("meid_fourteen", "MEID (14 digits)", S), ("ecid", "ECID", S), ("pin", "PIN", S),
    ("region", "Region", S), ("wifi_mac", "Wi-Fi MAC address", S), ("mdm_status", "MDM status", S)], MOBILE, "device")
group(f"HARDWARE REPORT - SYSTEM INFORMATION ({DRIVE_ERASER})", SYS, [
    ("system_sku", "System SKU", S), ("system_family", "System family", S), ("system_asset_tag", "Asset tag", S),
    ("system_version", "System version", S), ("wake_up_type", "Wake-up type", S, ["Power Switch", "LAN"]),
    ("hypervisor", "Hypervisor", S, ["none", "KVM", "VMware"]), ("system_uptime", "Uptime", U), ("system_owner", "Registered owner", S)], COMPUTER, "system")
group(f"USER DATA - CUSTOM FIELDS ({MOBILE_ERASER})", "user_data.mobile_fields.", [
    ("carrier_lock", "Carrier lock", S, ["locked", "unlocked"]), ("trade_in_value", "Trade-in value", U), ("grade_code", "Grade code", S),
    ("sku_code", "SKU code", S), ("accessories", "Accessories", S, ["none", "charger", "charger, box"]), ("screen_condition", "Screen condition", S, ["A", "B", "C"]),
    ("housing_condition", "Housing condition", S, ["A", "B", "C"]), ("intake_id", "Intake ID", S)], MOBILE, "mobile device")

# --- Checks -----------------------------------------------------------------------------------------
def check():
    problems = []
    paths = [r[1] for r in rows]
    if len(rows) != 538:
        problems.append(f"{len(rows)} rows instead of 538")
    if len(set(paths)) != len(paths):
        problems.append("duplicate search paths: " + str([p for p, n in collections.Counter(paths).items() if n > 1]))
    types = collections.Counter(r[4] for r in rows)
    if types != {"string": 429, "uint": 107, "date": 2}:
        problems.append(f"data types {dict(types)}")
    ops = collections.Counter(r[5] for r in rows)
    if ops != {EQ_LIKE: 425, EQ_NEQ_LT_GT: 108, EQ_NEQ: 5}:
        problems.append(f"operators {dict(ops)}")
    labels = collections.Counter(r[2] for r in rows)
    dups = sorted(l for l, n in labels.items() if n > 1)
    if len(dups) != 22:
        problems.append(f"{len(dups)} labels occur more than once: {dups}")
    cats = collections.Counter(r[0] for r in rows)
    qualified = [c for c in cats if "(" in c and "REPORT TEMPLATES" not in c]
    if len(qualified) != 8 or sum(cats[c] for c in qualified) != 71:
        problems.append(f"product categories {len(qualified)} with {sum(cats[c] for c in qualified)} rows")
    # The report query replaces every path part that names a section or an entry anywhere in the
    # report, so those names must never double as element names or as each other.
    elements = {"root", "report", "korvex_data", "description", "korvex_hardware_report", "korvex_erasure_report",
                "korvex_software_report", "korvex_issue_report", "korvex_legacy_report", "user_data", "document_id",
                "document_log", "log_entry", "product_name", "product_version", "date"}
    sections, entries = set(), set()
    for r in rows:
        parts = r[1].split(".")
        if parts[0] == "report" or r[1] == "korvex_data.description.document_id":
            continue
        start = 2 if parts[0] == "korvex_data" else 1
        sections.update(parts[start:-1])
        entries.add(parts[-1])
    for name in sorted((sections & entries) | (sections & elements) | (entries & elements)):
        problems.append(f"name used in two roles: {name}")
    return problems, cats, dups


def main():
    problems, cats, dups = check()
    if problems:
        print("\n".join(problems), file=sys.stderr)
        return 1
    out = io.StringIO()
    w = csv.writer(out, lineterminator="\r\n", quoting=csv.QUOTE_MINIMAL)
    w.writerow(["Category", "Search path", "Label", "Description", "Data type", "Valid operators"])
    for r in rows:
        w.writerow(r[:6])
    with open(os.path.join(ROOT, "resources/resources/report_columns.csv"), "w", newline="", encoding="utf-8") as f:
        f.write(out.getvalue())

    def cstr(s):
        return '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'
    lines = ["// Generated by scripts/gen_report_columns.py from the report field catalogue; do not edit.",
             "// path, data type, report kinds (m = mobile, c = computer, i = issue report), sample values"]
    for r in rows:
        if not r[6]:
            continue
        lines.append("{" + ", ".join([cstr(r[1]), cstr(r[4]), cstr(r[6]), cstr("|".join(r[7]))]) + "},")
    os.makedirs(os.path.join(ROOT, "tools/mc-standin"), exist_ok=True)
    with open(os.path.join(ROOT, "tools/mc-standin/catalogue_fields.inc"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    print(f"{len(rows)} rows in {len(cats)} categories; labels used more than once: {len(dups)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
