// The project file: the root with its groups and items as a tree of tagged object blocks.
//
// Layout (all numbers little-endian):
//
//   "TPF0"                       signature, 54 50 46 30
//   block of the root:
//     F4                         prefix (on reading: a byte F0..FF is a prefix with flags in its low four
//                                bits; flag 2: an integer value follows and is ignored; flag 1: refused;
//                                a byte below F0: no prefix)
//     len "TServer"              class name, short string (one length byte, then the bytes)
//     len "Manager"              object name, short string
//     property entries           name as short string, then a value (below), in declared order
//     00                         end of properties
//     child blocks               the root's groups; a group's items; items have none
//     00                         end of children
//
//   Values: type byte, then data
//     02 int8 | 03 int16 | 04 int32             integers, the narrowest that fits
//     05 extended (10 bytes)                   floats (Deadband), written only when not 0
//     06 len8 bytes | 0C len32 bytes           ASCII text of 1..255 | 256 or more characters
//     14 len32 UTF-8 bytes                     non-ASCII text whose UTF-8 is shorter than twice its
//                                              UTF-16 length
//     12 count32 UTF-16LE code units           other non-ASCII text
//     07 len8 identifier                       enumeration values
//   Empty strings are not written; integers and enumerations always are.
//
// Reading takes the whole file into memory and walks it with bounds checks: no read passes the end,
// no allocation is larger than the bytes that remain, and blocks nest at most three deep (root, group,
// item). Every failure ends the load at once with a ProjectError; what was read before stays in the tree.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace tagsink {

class TServer;
class TNamedItem;
struct PropInfo;

/// Told about every property entry the reader took from the input, after the property's setter ran.
/// Tools use it to tell a property that the file holds from one that kept its initial value.
using PropertyReadObserver = std::function<void(const TNamedItem& object, const PropInfo& property)>;

/// The bytes of the project file for this tree.
std::string WriteProjectStream(const TServer& root);

/// Reads project-file bytes into `root`, which must have no groups yet. Throws ProjectError with the
/// message of the first failure ("Invalid stream format", "Stream read error", "Class %s not found",
/// "Error reading %s%s%s: %s", or a refusal of a misplaced block).
void ReadProjectStream(std::string_view bytes, TServer& root, const PropertyReadObserver& observer = {});

/// Writes the file so that the previous file survives any failure: the bytes go to a temporary file
/// beside the target, are flushed to disk, and replace the target in one rename. Does not touch Dirty.
/// Throws ProjectError ("Cannot create file "%s". %s" or "Cannot write file "%s". %s").
void SaveProjectFile(const TServer& root, const std::filesystem::path& path);

/// Reads the file into `root` (see ReadProjectStream). Throws ProjectError ("Cannot open file "%s". %s"
/// or a reading failure).
void LoadProjectFile(TServer& root, const std::filesystem::path& path,
                     const PropertyReadObserver& observer = {});

/// The four bytes every project file begins with.
inline constexpr std::string_view kProjectSignature = "TPF0";

} // namespace tagsink
