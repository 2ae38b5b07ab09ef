/*
 * tagclient: a client library for OPC Data Access servers, with a flat C API.
 *
 * This header is the whole published interface of the library: what does not appear here is not part of
 * it. It compiles as C and as C++.
 *
 * Calling conventions
 *   32-bit Windows: every export is stdcall with an undecorated name; the procedures a client hands in are
 *   stdcall too, except TLogProc, whose two arguments travel in the first two argument registers (EAX,
 *   EDX) with nothing on the stack. Elsewhere the platform's default C convention applies to all of them.
 *
 * Types
 *   BOOL results are exactly -1 (TRUE) or 0 (FALSE); a BOOL argument counts as TRUE when it is non-zero.
 *   Handles are opaque 32-bit numbers, never 0 for a live object; 0 is the failure result of every export
 *   that creates one. A handle stays valid until its object is removed, its session disconnected or
 *   QZDAC_Uninit runs, and is never handed out again while the library is loaded. A handle given to an
 *   export that does not name a live object of the right kind, in the container named by the other handle
 *   arguments, makes the export return its failure value without contacting the server and without a log
 *   report.
 *   16-bit arguments (browse type, browse direction, VARTYPE, data source) occupy a 32-bit argument; only
 *   their low 16 bits are read. 16-bit outputs are written as 16 bits.
 *   Input strings are NUL-terminated, in the system ANSI code page (UTF-8 on Linux).
 *   Output strings: a buffer and a maximum length; at most that many bytes are written and then a NUL, so
 *   the buffer must hold maximum length + 1 bytes. The cut counts bytes and may split a multi-byte
 *   character.
 *   VARIANT arguments are passed by value and stay the caller's (the library copies them). VARIANT outputs
 *   are passed by pointer: the caller passes an initialised VARIANT (VT_EMPTY or a value it owns), the
 *   library clears it and stores its result, and the caller owns what it receives (free with
 *   VariantClear). Arrays are one-dimensional SAFEARRAYs with lower bound 0.
 *   FILETIME: 100 ns units since 1601, low half first, in the time base the server delivers (UTC for
 *   OPC DA 2.0 notifications).
 *
 * Threads
 *   Call QZDAC_Init once, on the thread that will make every further call (the client thread). Every
 *   procedure the library calls (data change, shutdown, log) runs on that thread: data-change and
 *   shutdown procedures, and the sessions' 5000 ms keep-alive poll, only while the client dispatches the
 *   library's events (QZDAC_GetEventHandle / QZDAC_DispatchEvents on platforms without a COM apartment);
 *   the log procedure inside the export that failed. A procedure may call exports. The library holds one
 *   re-entrant lock, the item-list lock: taken while items enter or leave a group and for the whole of a
 *   connection-point data-change batch.
 *
 * Failures
 *   No failure leaves an export. A failure is reported to the log procedure (if one is set) with the name
 *   of the operation that caught it ("QZDAC_AddGroup", "TServer.Connect", "TGroup.AddItem", ...) and a
 *   message; the export returns its failure value. That includes a server process that ends during a call
 *   (on Windows an RPC failure raised inside a COM proxy becomes the call's failure): the message of a code
 *   that means the server is gone carries the code, "OLE error 800706BA: The RPC server is unavailable.".
 *
 * Lost sessions
 *   A session is lost once a status poll (the 5000 ms keep-alive or QZDAC_GetServerStatus) failed with a
 *   code that means the server or the way to it is gone (RPC_S_SERVER_UNAVAILABLE, RPC_S_CALL_FAILED,
 *   RPC_E_DISCONNECTED, RPC_E_SERVER_DIED, CO_E_OBJNOTCONNECTED, ...), or once the server sent a shutdown
 *   request (before the shutdown procedure is called). A lost session never calls its server again: its
 *   exports return their failure values with a report ("The connection to the server is lost. " and the
 *   reason), QZDAC_GetServerStatus included, except QZDAC_SetShutdownProc, QZDAC_SetDataChangeProc and
 *   QZDAC_SetDataChangeExProc. QZDAC_Disconnect releases it without calling the server. A client that sees
 *   QZDAC_GetServerStatus fail disconnects and connects again.
 */
#ifndef TAGCLIENT_H
#define TAGCLIENT_H

/* The library's version. The shared library's SONAME carries the major number (libtagclient.so.1), which
 * changes only when a program built against an older release would break. */
#define TAGCLIENT_VERSION_MAJOR 1
#define TAGCLIENT_VERSION_MINOR 0
#define TAGCLIENT_VERSION_PATCH 0
#define TAGCLIENT_VERSION "1.0.0"
/* MAJOR * 10000 + MINOR * 100 + PATCH, for #if comparisons. */
#define TAGCLIENT_VERSION_NUMBER                                                                             \
    (TAGCLIENT_VERSION_MAJOR * 10000 + TAGCLIENT_VERSION_MINOR * 100 + TAGCLIENT_VERSION_PATCH)

#include <platform/oleauto.h>

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
#define QZDAC_CALL __stdcall
#if defined(__GNUC__)
#define QZDAC_LOGCALL __attribute__((regparm(2)))
#else
#define QZDAC_LOGCALL __fastcall /* ECX, EDX: not the library's convention; use a GNU compiler */
#endif
#else
#define QZDAC_CALL
#define QZDAC_LOGCALL
#endif

#if defined(_WIN32)
#define QZDAC_EXPORT /* exported by name through the library's .def file */
#elif defined(__GNUC__)
#define QZDAC_EXPORT __attribute__((visibility("default")))
#else
#define QZDAC_EXPORT
#endif

/* BOOL results and the handle types. */
typedef int32_t QZDAC_BOOL;
#define QZDAC_TRUE ((QZDAC_BOOL)-1)
#define QZDAC_FALSE ((QZDAC_BOOL)0)
typedef uint32_t QZDAC_HSESSION; /* a session (QZDAC_Connect) */
typedef uint32_t QZDAC_HGROUP;   /* a group of a session (QZDAC_AddGroup) */
typedef uint32_t QZDAC_HITEM;    /* an item of a group (QZDAC_AddItem, QZDAC_AddItemEx, QZDAC_AddItems) */

/* ------------------------------------------------------------------------------------------------------
 * Procedure types: the client's procedures that the library calls.
 */

/* The log procedure: source (the operation that caught the failure) and message, both BSTRs allocated
   for this call with SysAllocString. The procedure owns them and frees them with SysFreeString. A
   failure inside the procedure is swallowed. */
typedef void(QZDAC_LOGCALL* TLogProc)(BSTR source, BSTR message);

/* The shutdown procedure: the server of the session asked its clients to let go. It may disconnect the
   session (the library does not touch the session after the call). The result is ignored. */
typedef int32_t(QZDAC_CALL* TShutdownProc)(QZDAC_HSESSION session);

/* The data-change procedure: one call per changed item. `value` is the library's copy and is cleared when
   the procedure returns: copy (VariantCopy) what you keep. `timestamp` is the server's (UTC) for OPC DA 2.0
   notifications and the local wall-clock time of the call for OPC DA 1.0 streams without time. `quality`
   is the OPC quality (low 16 bits). */
typedef void(QZDAC_CALL* TDataChangeProc)(QZDAC_HSESSION session, QZDAC_HGROUP group, QZDAC_HITEM item,
                                          VARIANT value, FILETIME timestamp, uint32_t quality);

/* The extended data-change procedure: as TDataChangeProc with the item's client value (QZDAC_AddItemEx,
   QZDAC_AddItems; 0 for QZDAC_AddItem) before the value. */
typedef void(QZDAC_CALL* TDataChangeExProc)(QZDAC_HSESSION session, QZDAC_HGROUP group, QZDAC_HITEM item,
                                            int32_t client_value, VARIANT value, FILETIME timestamp,
                                            uint32_t quality);

/* ------------------------------------------------------------------------------------------------------
 * The library frame.
 */

/* Prepares the library on the calling thread, which becomes the client thread, and starts an empty session
   list (a second call starts a new one: sessions opened before are no longer accepted). TRUE on success;
   FALSE (reported as "QZDAC_Init") otherwise. */
QZDAC_EXPORT QZDAC_BOOL QZDAC_CALL QZDAC_Init(void);

/* Tears down every session, last opened first (groups removed from their servers, keep-alive stopped), and
   destroys the session list. TRUE; FALSE on a failure (reported as "QZDAC_Uninit"). The log procedure
   survives. */
QZDAC_EXPORT QZDAC_BOOL QZDAC_CALL QZDAC_Uninit(void);

/* Sets the log procedure (null switches reporting off). Callable at any time, also before QZDAC_Init. */
QZDAC_EXPORT void QZDAC_CALL QZDAC_SetLogProc(TLogProc proc);

/* ------------------------------------------------------------------------------------------------------
 * Server enumeration.
 */

/* Lists the OPC DA servers of a host (empty or null = this computer) for version 1, 2 or 3 (other numbers
   ask for the all-zero category): the server-list component of the host first, then, on this computer,
   the class registry. *prog_ids and *class_ids (initialised VARIANTs) receive two index-aligned arrays of
   BSTRs (VT_ARRAY|VT_BSTR, bounds 0..n-1; no elements when n is 0). Result n. Never reports; 0 when
   nothing was found or on any failure. Not re-entrant. */
QZDAC_EXPORT int32_t QZDAC_CALL QZDAC_GetServers(const char* host, int32_t version, VARIANT* prog_ids,
                                                 VARIANT* class_ids);

/* ------------------------------------------------------------------------------------------------------
 * Sessions.
 */

/* Opens a session with a server on a host (empty or null = this computer; the computer's own name in any
   letter case also means this computer). `server` is a class ID in registry form
   "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" or a ProgID (resolved through the host's server-list component,
   else through this computer's class registry). `option` is recorded and has no effect. Result: the
   session handle; 0 before QZDAC_Init, for a name that resolves to no class (no report), or when the
   server object cannot be created or is no OPC DA server (reported as "TServer.Connect"). */
QZDAC_EXPORT QZDAC_HSESSION QZDAC_CALL QZDAC_Connect(const char* host, const char* server, int32_t option);

/* Closes a session: keep-alive stopped, groups removed from the server last first (a refusal is reported
   as "TServer.RemoveGroup" and the rest goes on), server released. TRUE; FALSE for a handle that is not
   a live session. */
QZDAC_EXPORT QZDAC_BOOL QZDAC_CALL QZDAC_Disconnect(QZDAC_HSESSION session);

/* The server's status. Writes start, current and last-update time, the server state (16-bit), the band
   width, the group count (note: band width first), the major and minor version and build number (16-bit),
   and the vendor text (at most vendor_max bytes, then a NUL). FALSE (reported as
   "TServer.GetServerStatus", nothing written) when the server fails the call. */
QZDAC_EXPORT QZDAC_BOOL QZDAC_CALL QZDAC_GetServerStatus(QZDAC_HSESSION session, FILETIME* start_time,
                                                         FILETIME* current_time, FILETIME* last_update_time,
                                                         uint16_t* server_state, uint32_t* band_width,
                                                         uint32_t* group_count, uint16_t* major_version,
                                                         uint16_t* minor_version, uint16_t* build_number,
                                                         char* vendor, int32_t vendor_max);

/* Sets (or with null clears) the session's shutdown procedure. TRUE for a live session. When the server
   asks to shut down, the keep-alive poll stops and the procedure is called once with the session handle;
   the session stays open until the client disconnects it. */
QZDAC_EXPORT QZDAC_BOOL QZDAC_CALL QZDAC_SetShutdownProc(QZDAC_HSESSION session, TShutdownProc proc);

/* ------------------------------------------------------------------------------------------------------
 * Data callbacks.
 */

/* Sets (or with null clears) the session's data-change procedure. TRUE for a live session. */
QZDAC_EXPORT QZDAC_BOOL QZDAC_CALL QZDAC_SetDataChangeProc(QZDAC_HSESSION session, TDataChangeProc proc);

/* Sets (or with null clears) the session's extended data-change procedure. While it is set it is called
   instead of the plain one (never both). TRUE for a live session. */
QZDAC_EXPORT QZDAC_BOOL QZDAC_CALL QZDAC_SetDataChangeExProc(QZDAC_HSESSION session, TDataChangeExProc proc);

/* ------------------------------------------------------------------------------------------------------
 * Groups. The server's client group handle of a new group is the number of groups the session holds.
 */

/* Creates a group (active before the update rate here) and subscribes to its data changes (OPC DA 2.0
   connection point, else the OPC DA 1.0 data object). Result: the group handle; 0 when the server refuses
   (reported as "TServer.AddGroup"). A group whose subscription failed is still returned ("TGroup.Initialize"
   is reported). */
QZDAC_EXPORT QZDAC_HGROUP QZDAC_CALL QZDAC_AddGroup(QZDAC_HSESSION session, const char* name,
                                                    QZDAC_BOOL active, uint32_t update_rate,
                                                    int32_t time_bias, float deadband, uint32_t lcid);

/* Removes a group from the server and releases its items. FALSE (reported as "TServer.RemoveGroup") when
   the server refuses; the group then stays usable. */
QZDAC_EXPORT QZDAC_BOOL QZDAC_CALL QZDAC_RemoveGroup(QZDAC_HSESSION session, QZDAC_HGROUP group);

/* Renames a group. TRUE whenever the handles are accepted, also when the server refuses the name. */
QZDAC_EXPORT QZDAC_BOOL QZDAC_CALL QZDAC_SetGroupName(QZDAC_HSESSION session, QZDAC_HGROUP group,
                                                      const char* name);

/* Sets update rate (the server may revise it), active flag, time bias, deadband and locale. FALSE
   (reported as "TGroup.SetStat") when the server refuses. */
QZDAC_EXPORT QZDAC_BOOL QZDAC_CALL QZDAC_SetGroupStat(QZDAC_HSESSION session, QZDAC_HGROUP group,
                                                      uint32_t update_rate, QZDAC_BOOL active,
                                                      int32_t time_bias, float deadband, uint32_t lcid);

/* Reads the group's state from the server into the five variables (all must be valid). FALSE (reported as
   "TGroup.GetStat") when the server fails. */
QZDAC_EXPORT QZDAC_BOOL QZDAC_CALL QZDAC_GetGroupStat(QZDAC_HSESSION session, QZDAC_HGROUP group,
                                                      uint32_t* update_rate, QZDAC_BOOL* active,
                                                      int32_t* time_bias, float* deadband, uint32_t* lcid);

/* Asks the server to send every active item's value (data source 1 cache, 2 device) through the group's
   subscription. FALSE (reported as "TGroup.Refresh") when the server refuses or the group has no
   asynchronous interface. */
QZDAC_EXPORT QZDAC_BOOL QZDAC_CALL QZDAC_RefreshGroup(QZDAC_HSESSION session, QZDAC_HGROUP group,
                                                      uint32_t data_source);

/* ------------------------------------------------------------------------------------------------------
 * Items.
 */

/* Adds an item (active, canonical type). Result: the item handle, also the client handle the server
   reports it with; 0 when the server refuses the item (no report) or fails the call (reported as
   "TGroup.AddItem"). */
QZDAC_EXPORT QZDAC_HITEM QZDAC_CALL QZDAC_AddItem(QZDAC_HSESSION session, QZDAC_HGROUP group,
                                                  const char* item_id);

/* As QZDAC_AddItem with a client value that TDataChangeExProc receives for this item ("TGroup.AddItemEx"). */
QZDAC_EXPORT QZDAC_HITEM QZDAC_CALL QZDAC_AddItemEx(QZDAC_HSESSION session, QZDAC_HGROUP group,
                                                    const char* item_id, int32_t client_value);

/* Adds `count` items in one server call. `item_ids` must be an array (of strings) with upper bound count-1,
   else nothing happens and 0 is returned (*handles untouched). `client_values`, when an array with upper
   bound count-1, gives each item's client value (converted to a 32-bit integer), else every client value
   is 0. *handles receives a VT_ARRAY|VT_I4 of count elements: the item handle, or 0 where the server
   refused the item. Result: the number of refusals (0 also on a failure, reported as "TGroup.AddItems").
   The two VARIANTs stay the caller's. */
QZDAC_EXPORT int32_t QZDAC_CALL QZDAC_AddItems(QZDAC_HSESSION session, QZDAC_HGROUP group, int32_t count,
                                               VARIANT item_ids, VARIANT client_values, VARIANT* handles);

/* Removes an item. FALSE when the server refuses (the item stays). */
QZDAC_EXPORT QZDAC_BOOL QZDAC_CALL QZDAC_RemoveItem(QZDAC_HSESSION session, QZDAC_HGROUP group,
                                                    QZDAC_HITEM item);

/* Whether the server would accept an item ID in this group; adds nothing. The last two arguments have no
   effect (pass 0). */
QZDAC_EXPORT QZDAC_BOOL QZDAC_CALL QZDAC_ValidateItem(QZDAC_HSESSION session, QZDAC_HGROUP group,
                                                      const char* item_id, uint32_t reserved16,
                                                      uint32_t reserved32);

/* Activates or deactivates an item. TRUE when the server accepted it for the item. */
QZDAC_EXPORT QZDAC_BOOL QZDAC_CALL QZDAC_ActiveItem(QZDAC_HSESSION session, QZDAC_HGROUP group,
                                                    QZDAC_HITEM item, QZDAC_BOOL active);

/* Reads an item from the device. On TRUE *value (cleared first; the caller owns the result), *timestamp and
 *quality (16-bit) are written; on FALSE nothing is written. */
QZDAC_EXPORT QZDAC_BOOL QZDAC_CALL QZDAC_ReadItem(QZDAC_HSESSION session, QZDAC_HGROUP group,
                                                  QZDAC_HITEM item, VARIANT* value, FILETIME* timestamp,
                                                  uint16_t* quality);

/* Writes a value, synchronously or (asynchronous non-zero, OPC DA 2.0 only, else reported as
   "TGroup.WriteItem") asynchronously; for an asynchronous write TRUE only means the server took the
   request. The VARIANT stays the caller's. */
QZDAC_EXPORT QZDAC_BOOL QZDAC_CALL QZDAC_WriteItem(QZDAC_HSESSION session, QZDAC_HGROUP group,
                                                   QZDAC_HITEM item, VARIANT value, QZDAC_BOOL asynchronous);

/* ------------------------------------------------------------------------------------------------------
 * Address-space browsing and item properties (the browse position lives in the server, per session).
 */

/* Writes the namespace type (16-bit: 1 hierarchical, 2 flat). */
QZDAC_EXPORT QZDAC_BOOL QZDAC_CALL QZDAC_GetNameSpace(QZDAC_HSESSION session, uint16_t* name_space_type);

/* Moves the browse position: direction 1 up (name unused, pass ""), 2 down into the named branch, 3 to the
   named full position. FALSE (reported as "TServer.ChangeBrowsePosition") when the server refuses. */
QZDAC_EXPORT QZDAC_BOOL QZDAC_CALL QZDAC_ChangeBrowsePosition(QZDAC_HSESSION session, uint32_t direction,
                                                              const char* name);

/* Lists names at the position: browse type 1 branches, 2 leaves, 3 flat; a filter ("*" for all); a VARTYPE
   filter (0 any); access rights (0 any, 1 readable, 2 writeable, 3 both). *names receives a
   VT_ARRAY|VT_BSTR of the names in the server's order, or VT_NULL when there are none. Result: the number
   of names. */
QZDAC_EXPORT int32_t QZDAC_CALL QZDAC_BrowseItems(QZDAC_HSESSION session, uint32_t browse_type,
                                                  const char* filter, uint32_t data_type_filter,
                                                  uint32_t access_rights, VARIANT* names);

/* The full item ID of a name browsed at the position, into buffer (at most max_length bytes, then a NUL). */
QZDAC_EXPORT QZDAC_BOOL QZDAC_CALL QZDAC_GetItemFullName(QZDAC_HSESSION session, const char* name,
                                                         char* buffer, int32_t max_length);

/* The properties of an item: three arrays of n elements, property IDs (VT_I4), data types (VT_UI2) and
   descriptions (VT_BSTR), index-aligned. Result n. */
QZDAC_EXPORT int32_t QZDAC_CALL QZDAC_GetItemProperties(QZDAC_HSESSION session, const char* item_id,
                                                        VARIANT* property_ids, VARIANT* data_types,
                                                        VARIANT* descriptions);

/* One property value of an item into *value. FALSE without a report when the server cannot give that
   property for the item (*value unchanged). */
QZDAC_EXPORT QZDAC_BOOL QZDAC_CALL QZDAC_GetItemPropertyValue(QZDAC_HSESSION session, const char* item_id,
                                                              int32_t property_id, VARIANT* value);

/* ------------------------------------------------------------------------------------------------------
 * Platform extension (not one of the 30 exports of the classic API): joining the client's event loop where
 * there is no COM apartment.
 *
 * Notifications from servers, the keep-alive poll of each session and every call of a data-change or
 * shutdown procedure run only inside QZDAC_DispatchEvents, on the thread that calls it (the client
 * thread). The event handle is a file descriptor that becomes readable when work is due (queued
 * notifications or a timer that has come due); watch it with poll/select or a QSocketNotifier and call
 * QZDAC_DispatchEvents when it is readable. Do not read from or close it. A client that never watches it
 * may simply call QZDAC_DispatchEvents from time to time.
 *
 * Windows: the two are not exported. There the library's work arrives as window messages of the client
 * thread, which QZDAC_Init makes a single-threaded COM apartment: every message loop of that thread
 * (GetMessage/DispatchMessage, or any toolkit's event loop) runs it.
 */

/* The event handle, valid while the library is loaded; -1 when it could not be created. On Linux a file
   descriptor (an epoll descriptor). Not exported on Windows: there the library's message-only window of
   the client thread (bound by QZDAC_Init) runs the due work, so a thread that dispatches its window
   messages needs neither export. */
QZDAC_EXPORT intptr_t QZDAC_CALL QZDAC_GetEventHandle(void);

/* Runs the notifications queued so far and the timers that are due, on the calling thread, then returns
   the number of them it ran. A call from inside a procedure the library is calling runs nothing and
   returns 0. */
QZDAC_EXPORT int32_t QZDAC_CALL QZDAC_DispatchEvents(void);

#ifdef __cplusplus
}
#endif

#endif /* TAGCLIENT_H */
