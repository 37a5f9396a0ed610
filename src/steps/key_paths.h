// The keys the add-on's values go under, which the steps write and
// /UNINSTALL tells from any other key.
#pragma once

// The maker's own keys: this prefix, the release number, then the add-on.
constexpr char kVendorKeyPrefix[] = "Software\\Quenlar\\AutoCAD\\";
// AutoCAD's release keys: this prefix, then the release key name; the
// products are its subkeys.
constexpr char kReleaseKeyPrefix[] = "SOFTWARE\\Autodesk\\AutoCAD\\";
// Windows' Active Setup entries, one subkey each; the add-on's entry of a
// program folder is named kEntryNamePrefix and the folder's hash in hex.
constexpr char kActiveSetupPrefix[] = "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\";
constexpr char kEntryNamePrefix[] = "Ostrel-";
constexpr int kEntryHashDigits = 8;
