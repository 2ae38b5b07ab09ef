// The exported C API: the frame around every export (failure value first, the catch-all region, the
// session lookup, the string conversions) and the three frame exports.
#include <tagclient.h>

#include "library.hpp"
#include "uEnumSvr.hpp"
#include "uGroup.hpp"
#include "uRoutine.hpp"
#include "uServer.hpp"

using namespace tagclient;

namespace {

QZDAC_BOOL Bool(bool b) {
    return b ? QZDAC_TRUE : QZDAC_FALSE;
}

// The export wrapper for exports that take a session handle: a handle that is not a live session gives the
// failure value without a report; any failure is reported under the export's name. A session whose link is
// lost gives the failure value with a report, without calling the server.
template <class R, class F>
R WithSession(const char* export_name, R fail_value, QZDAC_HSESSION handle, F&& body) noexcept {
    return Guarded(export_name, fail_value, [&]() -> R {
        TServer* session = Library::Get().FindSession(handle);
        if (!session || session->FailIfLost(export_name))
            return fail_value;
        return body(*session);
    });
}

// The same for the exports that only set the session's procedures: they work on a lost session too.
template <class R, class F>
R WithSessionObject(const char* export_name, R fail_value, QZDAC_HSESSION handle, F&& body) noexcept {
    return Guarded(export_name, fail_value, [&]() -> R {
        TServer* session = Library::Get().FindSession(handle);
        if (!session)
            return fail_value;
        return body(*session);
    });
}

} // namespace

extern "C" {

// ---------------------------------------------------------------------------------------------------------
// Frame

QZDAC_BOOL QZDAC_CALL QZDAC_Init(void) {
    Library& lib = Library::Get();
    lib.initialized = false;
    return Guarded("QZDAC_Init", QZDAC_FALSE, [&] {
#ifdef _WIN32
        // The calling thread becomes the client thread: a single-threaded apartment whose window messages
        // carry the servers' notifications and the library's timers. Neither result is examined (a thread
        // or process that has done this already goes on).
        CoInitialize(nullptr);
        CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_NONE,
                             RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
        lib.Events().BindToCurrentThread();
#endif
        lib.StartSessionList();
        lib.initialized = true;
        return QZDAC_TRUE;
    });
}

QZDAC_BOOL QZDAC_CALL QZDAC_Uninit(void) {
    return Guarded("QZDAC_Uninit", QZDAC_FALSE, [&] {
        Library::Get().EndSessionList();
        return QZDAC_TRUE;
    });
}

void QZDAC_CALL QZDAC_SetLogProc(TLogProc proc) {
    Library::Get().log_proc.store(proc);
}

intptr_t QZDAC_CALL QZDAC_GetEventHandle(void) {
    try {
        return Library::Get().Events().Handle();
    } catch (...) {
        return -1;
    }
}

int32_t QZDAC_CALL QZDAC_DispatchEvents(void) {
    try {
        return Library::Get().Events().Dispatch();
    } catch (...) {
        return 0;
    }
}

// ---------------------------------------------------------------------------------------------------------
// Enumeration (no wrapper of its own, and no report)

int32_t QZDAC_CALL QZDAC_GetServers(const char* host, int32_t version, VARIANT* prog_ids,
                                    VARIANT* class_ids) {
    try {
        TDAEnum enumerator;
        enumerator.Host = host ? host : "";
        enumerator.Version = version;
        return enumerator.FillArrays(prog_ids, class_ids);
    } catch (...) {
        return 0;
    }
}

// ---------------------------------------------------------------------------------------------------------
// Sessions

QZDAC_HSESSION QZDAC_CALL QZDAC_Connect(const char* host, const char* server, int32_t option) {
    Library& lib = Library::Get();
    if (!lib.initialized || !lib.SessionListExists())
        return 0;
    return Guarded("QZDAC_Connect", QZDAC_HSESSION{0}, [&]() -> QZDAC_HSESSION {
        std::string host_name = host ? host : "";
        std::string server_name = server ? server : "";
        return Guarded("Connect", QZDAC_HSESSION{0}, [&]() -> QZDAC_HSESSION {
            auto session = std::make_unique<TServer>();
            session->HostName = host_name;
            session->ServerName = server_name;
            session->Option = option;
            const QZDAC_HSESSION handle = session->Connect();
            if (handle == 0)
                return 0; // the session and its sink are dropped
            lib.Sessions().push_back(std::move(session));
            return handle;
        });
    });
}

QZDAC_BOOL QZDAC_CALL QZDAC_Disconnect(QZDAC_HSESSION session) {
    return Guarded("QZDAC_Disconnect", QZDAC_FALSE, [&] {
        return Guarded("Disconnect", QZDAC_FALSE, [&] {
            auto& sessions = Library::Get().Sessions();
            for (auto it = sessions.begin(); it != sessions.end(); ++it) {
                if (*it && (*it)->Handle == session) {
                    std::unique_ptr<TServer> owned = std::move(*it);
                    sessions.erase(it);
                    owned.reset(); // the teardown
                    return QZDAC_TRUE;
                }
            }
            return QZDAC_FALSE;
        });
    });
}

QZDAC_BOOL QZDAC_CALL QZDAC_GetServerStatus(QZDAC_HSESSION session, FILETIME* start_time,
                                            FILETIME* current_time, FILETIME* last_update_time,
                                            uint16_t* server_state, uint32_t* band_width,
                                            uint32_t* group_count, uint16_t* major_version,
                                            uint16_t* minor_version, uint16_t* build_number, char* vendor,
                                            int32_t vendor_max) {
    return WithSession("QZDAC_GetServerStatus", QZDAC_FALSE, session, [&](TServer& s) {
        return Bool(s.GetServerStatus(start_time, current_time, last_update_time, server_state, band_width,
                                      group_count, major_version, minor_version, build_number, vendor,
                                      vendor_max));
    });
}

QZDAC_BOOL QZDAC_CALL QZDAC_SetShutdownProc(QZDAC_HSESSION session, TShutdownProc proc) {
    return WithSessionObject("QZDAC_SetShutdownProc", QZDAC_FALSE, session,
                             [&](TServer& s) { return Bool(s.SetShutdownProc(proc)); });
}

QZDAC_BOOL QZDAC_CALL QZDAC_SetDataChangeProc(QZDAC_HSESSION session, TDataChangeProc proc) {
    return WithSessionObject("QZDAC_SetDataChangeProc", QZDAC_FALSE, session, [&](TServer& s) {
        s.DataChangeProc = proc;
        return QZDAC_TRUE;
    });
}

QZDAC_BOOL QZDAC_CALL QZDAC_SetDataChangeExProc(QZDAC_HSESSION session, TDataChangeExProc proc) {
    return WithSessionObject("QZDAC_SetDataChangeExProc", QZDAC_FALSE, session, [&](TServer& s) {
        s.DataChangeExProc = proc;
        return QZDAC_TRUE;
    });
}

// ---------------------------------------------------------------------------------------------------------
// Groups

QZDAC_HGROUP QZDAC_CALL QZDAC_AddGroup(QZDAC_HSESSION session, const char* name, QZDAC_BOOL active,
                                       uint32_t update_rate, int32_t time_bias, float deadband,
                                       uint32_t lcid) {
    return WithSession("QZDAC_AddGroup", QZDAC_HGROUP{0}, session, [&](TServer& s) {
        return s.AddGroup(AnsiToWide(name), active, update_rate, time_bias, deadband, lcid);
    });
}

QZDAC_BOOL QZDAC_CALL QZDAC_RemoveGroup(QZDAC_HSESSION session, QZDAC_HGROUP group) {
    return WithSession("QZDAC_RemoveGroup", QZDAC_FALSE, session,
                       [&](TServer& s) { return Bool(s.RemoveGroup(group)); });
}

QZDAC_BOOL QZDAC_CALL QZDAC_SetGroupName(QZDAC_HSESSION session, QZDAC_HGROUP group, const char* name) {
    return WithSession("QZDAC_SetGroupName", QZDAC_FALSE, session,
                       [&](TServer& s) { return Bool(s.SetGroupName(group, AnsiToWide(name))); });
}

QZDAC_BOOL QZDAC_CALL QZDAC_SetGroupStat(QZDAC_HSESSION session, QZDAC_HGROUP group, uint32_t update_rate,
                                         QZDAC_BOOL active, int32_t time_bias, float deadband,
                                         uint32_t lcid) {
    return WithSession("QZDAC_SetGroupStat", QZDAC_FALSE, session, [&](TServer& s) {
        return Bool(s.SetGroupStat(group, update_rate, active, time_bias, deadband, lcid));
    });
}

QZDAC_BOOL QZDAC_CALL QZDAC_GetGroupStat(QZDAC_HSESSION session, QZDAC_HGROUP group, uint32_t* update_rate,
                                         QZDAC_BOOL* active, int32_t* time_bias, float* deadband,
                                         uint32_t* lcid) {
    return WithSession("QZDAC_GetGroupStat", QZDAC_FALSE, session, [&](TServer& s) {
        return Bool(s.GetGroupStat(group, update_rate, active, time_bias, deadband, lcid));
    });
}

QZDAC_BOOL QZDAC_CALL QZDAC_RefreshGroup(QZDAC_HSESSION session, QZDAC_HGROUP group, uint32_t data_source) {
    return WithSession("QZDAC_RefreshGroup", QZDAC_FALSE, session, [&](TServer& s) {
        return Bool(s.RefreshGroup(group, static_cast<uint16_t>(data_source)));
    });
}

// ---------------------------------------------------------------------------------------------------------
// Items

QZDAC_HITEM QZDAC_CALL QZDAC_AddItem(QZDAC_HSESSION session, QZDAC_HGROUP group, const char* item_id) {
    return WithSession("QZDAC_AddItem", QZDAC_HITEM{0}, session,
                       [&](TServer& s) { return s.AddItem(group, AnsiToWide(item_id)); });
}

QZDAC_HITEM QZDAC_CALL QZDAC_AddItemEx(QZDAC_HSESSION session, QZDAC_HGROUP group, const char* item_id,
                                       int32_t client_value) {
    return WithSession("QZDAC_AddItemEx", QZDAC_HITEM{0}, session,
                       [&](TServer& s) { return s.AddItemEx(group, AnsiToWide(item_id), client_value); });
}

int32_t QZDAC_CALL QZDAC_AddItems(QZDAC_HSESSION session, QZDAC_HGROUP group, int32_t count, VARIANT item_ids,
                                  VARIANT client_values, VARIANT* handles) {
    return WithSession("QZDAC_AddItems", int32_t{0}, session, [&](TServer& s) {
        return s.AddItems(group, count, item_ids, client_values, handles);
    });
}

QZDAC_BOOL QZDAC_CALL QZDAC_RemoveItem(QZDAC_HSESSION session, QZDAC_HGROUP group, QZDAC_HITEM item) {
    return WithSession("QZDAC_RemoveItem", QZDAC_FALSE, session,
                       [&](TServer& s) { return Bool(s.RemoveItem(group, item)); });
}

QZDAC_BOOL QZDAC_CALL QZDAC_ValidateItem(QZDAC_HSESSION session, QZDAC_HGROUP group, const char* item_id,
                                         uint32_t reserved16, uint32_t reserved32) {
    return WithSession("QZDAC_ValidateItem", QZDAC_FALSE, session, [&](TServer& s) {
        return Bool(
            s.ValidateItem(group, AnsiToWide(item_id), static_cast<uint16_t>(reserved16), reserved32));
    });
}

QZDAC_BOOL QZDAC_CALL QZDAC_ActiveItem(QZDAC_HSESSION session, QZDAC_HGROUP group, QZDAC_HITEM item,
                                       QZDAC_BOOL active) {
    return WithSession("QZDAC_ActiveItem", QZDAC_FALSE, session,
                       [&](TServer& s) { return Bool(s.ActiveItem(group, item, active)); });
}

QZDAC_BOOL QZDAC_CALL QZDAC_ReadItem(QZDAC_HSESSION session, QZDAC_HGROUP group, QZDAC_HITEM item,
                                     VARIANT* value, FILETIME* timestamp, uint16_t* quality) {
    return WithSession("QZDAC_ReadItem", QZDAC_FALSE, session,
                       [&](TServer& s) { return Bool(s.ReadItem(group, item, value, timestamp, quality)); });
}

QZDAC_BOOL QZDAC_CALL QZDAC_WriteItem(QZDAC_HSESSION session, QZDAC_HGROUP group, QZDAC_HITEM item,
                                      VARIANT value, QZDAC_BOOL asynchronous) {
    return WithSession("QZDAC_WriteItem", QZDAC_FALSE, session,
                       [&](TServer& s) { return Bool(s.WriteItem(group, item, value, asynchronous != 0)); });
}

// ---------------------------------------------------------------------------------------------------------
// Browsing and properties

QZDAC_BOOL QZDAC_CALL QZDAC_GetNameSpace(QZDAC_HSESSION session, uint16_t* name_space_type) {
    return WithSession("QZDAC_GetNameSpace", QZDAC_FALSE, session,
                       [&](TServer& s) { return Bool(s.GetNameSpace(name_space_type)); });
}

QZDAC_BOOL QZDAC_CALL QZDAC_ChangeBrowsePosition(QZDAC_HSESSION session, uint32_t direction,
                                                 const char* name) {
    return WithSession("QZDAC_ChangeBrowsePosition", QZDAC_FALSE, session, [&](TServer& s) {
        return Bool(s.ChangeBrowsePosition(static_cast<uint16_t>(direction), AnsiToWide(name)));
    });
}

int32_t QZDAC_CALL QZDAC_BrowseItems(QZDAC_HSESSION session, uint32_t browse_type, const char* filter,
                                     uint32_t data_type_filter, uint32_t access_rights, VARIANT* names) {
    return WithSession("QZDAC_BrowseItems", int32_t{0}, session, [&](TServer& s) {
        return s.BrowseItems(static_cast<uint16_t>(browse_type), AnsiToWide(filter),
                             static_cast<uint16_t>(data_type_filter), access_rights, names);
    });
}

QZDAC_BOOL QZDAC_CALL QZDAC_GetItemFullName(QZDAC_HSESSION session, const char* name, char* buffer,
                                            int32_t max_length) {
    return WithSession("QZDAC_GetItemFullName", QZDAC_FALSE, session, [&](TServer& s) {
        return Bool(s.GetItemFullName(AnsiToWide(name), buffer, max_length));
    });
}

int32_t QZDAC_CALL QZDAC_GetItemProperties(QZDAC_HSESSION session, const char* item_id, VARIANT* property_ids,
                                           VARIANT* data_types, VARIANT* descriptions) {
    return WithSession("QZDAC_GetItemProperties", int32_t{0}, session, [&](TServer& s) {
        return s.GetItemProperties(AnsiToWide(item_id), property_ids, data_types, descriptions);
    });
}

QZDAC_BOOL QZDAC_CALL QZDAC_GetItemPropertyValue(QZDAC_HSESSION session, const char* item_id,
                                                 int32_t property_id, VARIANT* value) {
    return WithSession("QZDAC_GetItemPropertyValue", QZDAC_FALSE, session, [&](TServer& s) {
        return Bool(s.GetItemPropertyValue(AnsiToWide(item_id), property_id, value));
    });
}

} // extern "C"
