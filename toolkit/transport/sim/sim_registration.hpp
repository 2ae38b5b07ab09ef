// Registration files: the stand-in, on this platform, for servers registered in the system's class registry.
// Each line registers one server class by ProgID and class ID:
//
//     # comment
//     ProgID  {CLASS-ID}  [opc=yes|no] [da=1,2,3] [server=da2|da1|minimal] [type="User type name"]
//
//   opc     whether the ProgID carries the "OPC" marker that the registry pass of server enumeration looks
//           for (default yes)
//   da      the OPC DA versions whose component category the class implements; the server-list component
//           lists it under them (default none)
//   server  which simulated server answers when the class is instantiated (default none: creating it fails
//           with "class not registered")
//   type    the user-readable type name the server-list component gives (default empty)
//
// Files, later ones overriding earlier entries of the same ProgID (letters A-Z compared without case):
//   each directory of $XDG_CONFIG_DIRS (default /etc/xdg), last to first, + "/tagclient/servers.conf"
//   $XDG_CONFIG_HOME (default $HOME/.config) + "/tagclient/servers.conf"
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace tagclient::transport::sim {

struct RegisteredClass {
    std::string prog_id;
    std::string class_id_text; // as written (the registry keeps text)
    bool opc = true;
    std::vector<int> versions; // OPC DA versions (categories) implemented
    std::string server;        // "da2", "da1", "minimal" or empty
    std::string user_type;
};

// The entries of one file's text. Lines that cannot be read are skipped; each gives one message
// "<source>:<line>: <what is wrong>" in *problems.
std::vector<RegisteredClass> ParseRegistrations(std::string_view text, const std::string& source,
                                                std::vector<std::string>* problems);

// The registration files in the order they are read (least important first).
std::vector<std::string> RegistrationFilePaths();

// Every registered class from the files that exist, merged by ProgID (the later file wins).
std::vector<RegisteredClass> LoadRegistrations(std::vector<std::string>* problems = nullptr);

// Compares ProgIDs and key names as the registry does: letters A-Z without case.
bool SameKeyName(std::string_view a, std::string_view b);

} // namespace tagclient::transport::sim
