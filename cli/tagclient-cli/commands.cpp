// servers, status, browse, props, read and write.
#include "commands.hpp"

#include "client.hpp"
#include "value_text.hpp"

#include <platform/code_page.hpp>
#include <platform/variant.hpp>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iostream>

namespace tagclient_cli {
namespace {

std::vector<std::string> Strings(const qz::Variant& array) {
    std::vector<std::string> out;
    if (!array.isArray())
        return out;
    const ULONG n = array.arrayLength();
    out.reserve(n);
    for (ULONG i = 0; i < n; ++i)
        out.push_back(array.element(static_cast<LONG>(i)).toUtf8());
    return out;
}

std::uint32_t AccessFilter(const std::string& access) {
    if (access.empty())
        return 0;
    if (access == "r")
        return 1;
    if (access == "w")
        return 2;
    if (access == "rw" || access == "wr")
        return 3;
    throw UsageError("--access must be r, w or rw, not '" + access + "'");
}

VARTYPE TypeFilter(const std::string& name) {
    if (name.empty())
        return VT_EMPTY;
    const auto vt = VarTypeFromName(name);
    if (!vt)
        throw UsageError("unknown data type '" + name +
                         "' (use I1, I2, I4, I8, UI1, UI2, UI4, UI8, R4, R8, CY, "
                         "DATE, BOOL or BSTR)");
    return *vt;
}

// The names of one browse listing at the session's position.
std::vector<std::string> BrowseNames(const Session& session, std::uint32_t type, const std::string& filter,
                                     VARTYPE data_type, std::uint32_t access) {
    qz::Variant names;
    QZDAC_BrowseItems(session.handle(), type, filter.empty() ? "*" : qz::ToAnsi(filter).c_str(), data_type,
                      access, names.out());
    return Strings(names);
}

std::string FullName(const Session& session, const std::string& name) {
    std::string buffer(4096, '\0');
    if (!QZDAC_GetItemFullName(session.handle(), qz::ToAnsi(name).c_str(), buffer.data(),
                               static_cast<int32_t>(buffer.size() - 1)))
        return name;
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    return qz::FromAnsi(buffer);
}

// Lists the tree below the session's browse position into `lines`, indented by depth. With `prune`
// (a filter is in force) branches without any matching leaf below them are left out.
void WalkTree(const Session& session, const BrowseOptions& options, VARTYPE data_type, std::uint32_t access,
              int depth, bool prune, std::vector<std::string>& lines) {
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    for (const std::string& branch : BrowseNames(session, 1, "*", VT_EMPTY, 0)) {
        if (!QZDAC_ChangeBrowsePosition(session.handle(), 2, qz::ToAnsi(branch).c_str()))
            throw Failure("cannot move the browse position down into branch '" + branch + "'");
        std::vector<std::string> below;
        WalkTree(session, options, data_type, access, depth + 1, prune, below);
        if (!QZDAC_ChangeBrowsePosition(session.handle(), 1, ""))
            throw Failure("cannot move the browse position up from branch '" + branch + "'");
        if (prune && below.empty())
            continue;
        lines.push_back(indent + branch + "/");
        lines.insert(lines.end(), below.begin(), below.end());
    }
    for (const std::string& leaf : BrowseNames(session, 2, options.filter, data_type, access))
        lines.push_back(indent + leaf + "  (" + FullName(session, leaf) + ")");
}

} // namespace

int ListServers(const ServersOptions& options) {
    if (options.version < 1 || options.version > 3)
        throw UsageError("--version must be 1, 2 or 3");
    Library library;
    qz::Variant prog_ids;
    qz::Variant class_ids;
    const int32_t n =
        QZDAC_GetServers(qz::ToAnsi(options.host).c_str(), options.version, prog_ids.out(), class_ids.out());
    const std::vector<std::string> names = Strings(prog_ids);
    const std::vector<std::string> ids = Strings(class_ids);
    if (n <= 0 || names.size() != ids.size())
        throw Failure("no OPC DA " + std::to_string(options.version) + ".0 servers found on " +
                      HostText(options.host) + " (or the host cannot be reached)");
    std::size_t width = 6;
    for (const std::string& name : names)
        width = std::max(width, name.size());
    std::printf("%-*s  %s\n", static_cast<int>(width), "ProgID", "Class ID");
    for (std::size_t i = 0; i < names.size(); ++i)
        std::printf("%-*s  %s\n", static_cast<int>(width), names[i].c_str(), ids[i].c_str());
    return 0;
}

int ShowStatus(const std::string& host, const std::string& server) {
    Library library;
    Session session(host, server);
    FILETIME start{}, current{}, last_update{};
    uint16_t state = 0, major = 0, minor = 0, build = 0;
    uint32_t band_width = 0, groups = 0;
    char vendor[1024] = {};
    if (!QZDAC_GetServerStatus(session.handle(), &start, &current, &last_update, &state, &band_width, &groups,
                               &major, &minor, &build, vendor, static_cast<int32_t>(sizeof vendor - 1)))
        throw Failure("server '" + server + "' did not give its status");
    auto time = [](const FILETIME& t) {
        return t.dwLowDateTime == 0 && t.dwHighDateTime == 0
                   ? std::string("(none)")
                   : UtcTimeText(t) + " (local " + LocalTimeText(t) + ")";
    };
    std::printf("Server:       %s\n", server.c_str());
    std::printf("State:        %s\n", ServerStateText(state).c_str());
    std::printf("Vendor:       %s\n", vendor);
    std::printf("Version:      %u.%u.%u\n", major, minor, build);
    std::printf("Start time:   %s\n", time(start).c_str());
    std::printf("Current time: %s\n", time(current).c_str());
    std::printf("Last update:  %s\n", time(last_update).c_str());
    std::printf("Groups:       %u\n", groups);
    std::printf("Band width:   %u\n", band_width);
    return 0;
}

int Browse(const BrowseOptions& options) {
    const std::uint32_t access = AccessFilter(options.access);
    const VARTYPE data_type = TypeFilter(options.data_type);
    Library library;
    Session session(options.host, options.server);
    uint16_t name_space = 0;
    if (!QZDAC_GetNameSpace(session.handle(), &name_space))
        throw Failure("server '" + options.server + "' cannot be browsed");
    if (options.flat || name_space == 2) {
        for (const std::string& name : BrowseNames(session, 3, options.filter, data_type, access))
            std::printf("%s\n", name.c_str());
        return 0;
    }
    std::vector<std::string> lines;
    const bool prune = !options.filter.empty() || data_type != VT_EMPTY || access != 0;
    WalkTree(session, options, data_type, access, 0, prune, lines);
    for (const std::string& line : lines)
        std::printf("%s\n", line.c_str());
    return 0;
}

int ShowProperties(const std::string& host, const std::string& server, const std::string& item) {
    Library library;
    Session session(host, server);
    qz::Variant ids, types, descriptions;
    const int32_t n = QZDAC_GetItemProperties(session.handle(), qz::ToAnsi(item).c_str(), ids.out(),
                                              types.out(), descriptions.out());
    if (n <= 0)
        throw Failure("server '" + server + "' gave no properties for item '" + item + "'");
    const std::vector<std::string> texts = Strings(descriptions);
    std::printf("%6s  %-28s %-20s %s\n", "ID", "Description", "Type", "Value");
    for (int32_t i = 0; i < n; ++i) {
        const int32_t id = ids.element(i).convertedTo(VT_I4).get().lVal;
        const VARTYPE type = static_cast<VARTYPE>(types.element(i).convertedTo(VT_I4).get().lVal);
        const std::string description = static_cast<std::size_t>(i) < texts.size() ? texts[i] : "";
        qz::Variant value;
        const bool known =
            QZDAC_GetItemPropertyValue(session.handle(), qz::ToAnsi(item).c_str(), id, value.out()) != 0;
        std::printf("%6d  %-28s %-20s %s\n", id, description.c_str(), VarTypeName(type).c_str(),
                    known ? ValueText(value).c_str() : "(not available)");
    }
    return 0;
}

int ReadItems(const ItemsOptions& options) {
    Library library;
    Session session(options.host, options.server);
    Group group(session, false, 1000);
    int result = 0;
    for (const std::string& id : options.items) {
        const QZDAC_HITEM item = QZDAC_AddItem(session.handle(), group.handle(), qz::ToAnsi(id).c_str());
        if (!item) {
            std::fprintf(stderr, "tagclient-cli: item '%s' was refused by the server (unknown item ID?)\n",
                         id.c_str());
            result = 1;
            continue;
        }
        qz::Variant value;
        FILETIME stamp{};
        uint16_t quality = 0;
        if (!QZDAC_ReadItem(session.handle(), group.handle(), item, value.out(), &stamp, &quality)) {
            std::fprintf(stderr, "tagclient-cli: item '%s' could not be read\n", id.c_str());
            result = 1;
            continue;
        }
        std::printf("%s\n", ItemLine(id, value, quality, stamp).c_str());
        std::fflush(stdout);
    }
    return result;
}

int WriteItem(const WriteOptions& options) {
    std::optional<VARTYPE> type;
    if (!options.type.empty()) {
        type = VarTypeFromName(options.type);
        if (!type)
            throw UsageError("unknown --type '" + options.type +
                             "' (use I1, I2, I4, I8, UI1, UI2, UI4, UI8, R4, R8, CY, "
                             "DATE, BOOL or BSTR)");
    }
    Library library;
    Session session(options.host, options.server);
    if (!type) {
        // Without --type the value takes the item's canonical type (property 1), else goes as text.
        qz::Variant canonical;
        type = VT_BSTR;
        if (QZDAC_GetItemPropertyValue(session.handle(), qz::ToAnsi(options.item).c_str(), 1,
                                       canonical.out())) {
            qz::Variant number;
            if (SUCCEEDED(canonical.tryConvert(VT_I4, number)) && number.get().lVal != VT_EMPTY)
                type = static_cast<VARTYPE>(number.get().lVal);
        }
    }
    qz::Variant value;
    try {
        value = ParseValue(options.value, *type);
    } catch (const qz::VariantError& e) {
        throw UsageError("'" + options.value + "' is no " + VarTypeName(*type) + " value: " + e.what());
    }
    Group group(session, false, 1000);
    const QZDAC_HITEM item =
        QZDAC_AddItem(session.handle(), group.handle(), qz::ToAnsi(options.item).c_str());
    if (!item)
        throw Failure("item '" + options.item + "' was refused by the server (unknown item ID?)");
    if (!QZDAC_WriteItem(session.handle(), group.handle(), item, value, QZDAC_FALSE))
        throw Failure("the server refused to write " + ValueText(value) + " to '" + options.item + "'");
    std::printf("%s := %s  [%s]\n", options.item.c_str(), ValueText(value).c_str(),
                VarTypeName(value.vt()).c_str());
    // Read it back from the device, so that the operator sees what the server made of the value.
    qz::Variant back;
    FILETIME stamp{};
    uint16_t quality = 0;
    if (QZDAC_ReadItem(session.handle(), group.handle(), item, back.out(), &stamp, &quality))
        std::printf("%s\n", ItemLine(options.item, back, quality, stamp).c_str());
    else
        std::printf("%s: written; the item cannot be read back\n", options.item.c_str());
    return 0;
}

} // namespace tagclient_cli
