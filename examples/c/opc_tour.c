/*
 * opc_tour: a complete tagclient client in C against the simulated OPC DA 2.0 server.
 *
 * Connects, browses the branch "Memory", writes Memory.Int4 and reads it back, then subscribes to
 * Counter.Int4 and Memory.Int4 and prints every data change for about two seconds. Prints what the library
 * reports through the log procedure. Exit status 0 when every step worked, 1 otherwise.
 *
 * Build (see docs/programming/tagclient-programming.md):
 *   cc -std=c11 -I$SRC/toolkit/include -I$SRC/platform/include opc_tour.c \
 *      -L$BUILD/bin -ltagclient -lqzoleaut -Wl,-rpath,$BUILD/bin -o opc_tour
 */
#define _POSIX_C_SOURCE 200809L /* clock_gettime, nanosleep */

#include <tagclient.h>

#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

static int changes;

/* The text of any VARIANT, as UTF-8: converted to a BSTR, then out of UTF-16. */
static void VariantToText(const VARIANT* value, char* text, int size) {
    VARIANT s;
    VariantInit(&s);
    text[0] = '\0';
    if (value->vt == VT_EMPTY) {
        snprintf(text, (size_t)size, "(empty)");
    } else if (VariantChangeType(&s, value, 0, VT_BSTR) == S_OK) {
        int n = WideCharToMultiByte(CP_UTF8, 0, s.bstrVal, (int)SysStringLen(s.bstrVal), text, size - 1, NULL,
                                    NULL);
        text[n > 0 ? n : 0] = '\0';
    } else {
        snprintf(text, (size_t)size, "(type %u)", (unsigned)value->vt);
    }
    VariantClear(&s);
}

static void PrintBstr(const char* label, BSTR text) {
    char buffer[512];
    int n = text ? WideCharToMultiByte(CP_UTF8, 0, text, (int)SysStringLen(text), buffer,
                                       (int)sizeof buffer - 1, NULL, NULL)
                 : 0;
    buffer[n > 0 ? n : 0] = '\0';
    printf("%s%s", label, buffer);
}

/* The log procedure owns both strings and must free them. */
static void QZDAC_LOGCALL OnLog(BSTR source, BSTR message) {
    PrintBstr("log: ", source);
    PrintBstr(": ", message);
    printf("\n");
    SysFreeString(source);
    SysFreeString(message);
}

/* The value is the library's and is cleared after the call: copy it (VariantCopy) to keep it. */
static void QZDAC_CALL OnDataChange(QZDAC_HSESSION session, QZDAC_HGROUP group, QZDAC_HITEM item,
                                    VARIANT value, FILETIME timestamp, uint32_t quality) {
    char text[128];
    (void)session;
    (void)group;
    (void)timestamp;
    VariantToText(&value, text, (int)sizeof text);
    printf("change: item %u = %s (quality 0x%02X)\n", (unsigned)item, text, (unsigned)(quality & 0xFFFF));
    ++changes;
}

static int32_t QZDAC_CALL OnShutdown(QZDAC_HSESSION session) {
    printf("the server of session %u asks to shut down\n", (unsigned)session);
    return 0;
}

static double Seconds(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

/* Runs the library's events for `seconds`: poll on its event handle, or dispatch every 50 ms without one. */
static void RunEvents(double seconds) {
    intptr_t handle = QZDAC_GetEventHandle();
    double end = Seconds() + seconds;
    while (Seconds() < end) {
        if (handle >= 0) {
            struct pollfd fd;
            fd.fd = (int)handle;
            fd.events = POLLIN;
            fd.revents = 0;
            poll(&fd, 1, 50);
        } else {
            struct timespec pause = {0, 50 * 1000 * 1000};
            nanosleep(&pause, NULL);
        }
        QZDAC_DispatchEvents();
    }
}

/* Prints the names of a browse result (VT_ARRAY|VT_BSTR, or VT_NULL for none) and frees it. */
static void PrintNames(const char* label, VARIANT* names, int32_t count) {
    LONG i;
    printf("%s (%d):", label, (int)count);
    for (i = 0; i < count && names->vt == (VT_ARRAY | VT_BSTR); ++i) {
        BSTR name = NULL;
        if (SafeArrayGetElement(names->parray, &i, &name) == S_OK) {
            PrintBstr(" ", name);
            SysFreeString(name); /* SafeArrayGetElement hands out a copy */
        }
    }
    printf("\n");
    VariantClear(names);
}

int main(void) {
    const char* server = "Tagsink.SimServer.DA2";
    QZDAC_HSESSION session;
    QZDAC_HGROUP group;
    QZDAC_HITEM memory, counter;
    VARIANT names, value, written;
    FILETIME timestamp;
    uint16_t quality = 0, nameSpace = 0;
    char fullName[256];
    char text[128];
    int32_t count;
    int ok = 1;

    QZDAC_SetLogProc(OnLog);
    if (QZDAC_Init() != QZDAC_TRUE) {
        fprintf(stderr, "QZDAC_Init failed\n");
        return 1;
    }

    session = QZDAC_Connect("", server, 0);
    if (session == 0) {
        fprintf(stderr, "cannot connect to %s\n", server);
        QZDAC_Uninit();
        return 1;
    }
    printf("connected to %s: session %u\n", server, (unsigned)session);
    QZDAC_SetShutdownProc(session, OnShutdown);
    QZDAC_SetDataChangeProc(session, OnDataChange);

    /* Browse: the namespace type, the branches at the root, the leaves of Memory and one full item ID. */
    if (QZDAC_GetNameSpace(session, &nameSpace))
        printf("namespace type %u (1 hierarchical, 2 flat)\n", (unsigned)nameSpace);
    VariantInit(&names);
    count = QZDAC_BrowseItems(session, 1, "*", 0, 0, &names);
    PrintNames("branches", &names, count);
    if (!QZDAC_ChangeBrowsePosition(session, 2, "Memory")) {
        ok = 0;
    } else {
        count = QZDAC_BrowseItems(session, 2, "Int*", 0, 0, &names);
        PrintNames("Memory leaves Int*", &names, count);
        if (QZDAC_GetItemFullName(session, "Int4", fullName, (int32_t)sizeof fullName - 1))
            printf("full name of Int4: %s\n", fullName);
        else
            ok = 0;
        QZDAC_ChangeBrowsePosition(session, 1, "");
    }
    /* A refused step is reported through the log procedure (source "TServer.ChangeBrowsePosition"). */
    if (!QZDAC_ChangeBrowsePosition(session, 2, "NoSuchBranch"))
        printf("no branch NoSuchBranch at the root (reported above)\n");

    /* A group with a writable item and a counter, checked every 100 ms. */
    group = QZDAC_AddGroup(session, "Tour", QZDAC_TRUE, 100, 0, 0.0f, 0);
    memory = group ? QZDAC_AddItem(session, group, "Memory.Int4") : 0;
    counter = group ? QZDAC_AddItem(session, group, "Counter.Int4") : 0;
    if (memory == 0 || counter == 0) {
        fprintf(stderr, "cannot add the items\n");
        ok = 0;
    } else {
        /* Write 42 (the VARIANT goes by value and stays ours), then read it back from the device. */
        VariantInit(&written);
        written.vt = VT_I4;
        written.lVal = 42;
        if (!QZDAC_WriteItem(session, group, memory, written, QZDAC_FALSE))
            ok = 0;
        VariantClear(&written);

        VariantInit(&value);
        if (QZDAC_ReadItem(session, group, memory, &value, &timestamp, &quality)) {
            VariantToText(&value, text, (int)sizeof text);
            printf("read Memory.Int4 = %s (quality 0x%02X)\n", text, (unsigned)quality);
            if (value.vt != VT_I4 || value.lVal != 42)
                ok = 0;
        } else {
            ok = 0;
        }
        VariantClear(&value); /* the value we received is ours */

        QZDAC_RefreshGroup(session, group, 1);
        RunEvents(2.0);
        printf("%d data changes\n", changes);
        if (changes < 2)
            ok = 0;
    }

    QZDAC_Disconnect(session);
    QZDAC_Uninit();
    printf("%s\n", ok ? "done" : "FAILED");
    return ok ? 0 : 1;
}
