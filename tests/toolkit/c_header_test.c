/* The public header compiles as C, and the library answers through it. */
#include <tagclient.h>

#include <stdio.h>

static void QZDAC_LOGCALL Log(BSTR source, BSTR message) {
    SysFreeString(source);
    SysFreeString(message);
}

static void QZDAC_CALL OnChange(QZDAC_HSESSION s, QZDAC_HGROUP g, QZDAC_HITEM i, VARIANT v, FILETIME t,
                                uint32_t q) {
    (void)s, (void)g, (void)i, (void)v, (void)t, (void)q;
}

int main(void) {
    TLogProc log = Log;
    TDataChangeProc change = OnChange;
    QZDAC_SetLogProc(log);
    if (QZDAC_Init() != -1) {
        fprintf(stderr, "QZDAC_Init did not return -1\n");
        return 1;
    }
    if (QZDAC_SetDataChangeProc(0, change) != 0 || QZDAC_Disconnect(12345) != 0) {
        fprintf(stderr, "a rejected handle did not give 0\n");
        return 1;
    }
#ifndef _WIN32 /* the event-loop extension is not exported on Windows */
    if (QZDAC_GetEventHandle() < 0) {
        fprintf(stderr, "no event handle\n");
        return 1;
    }
    QZDAC_DispatchEvents();
#endif
    return QZDAC_Uninit() == -1 ? 0 : 1;
}
