/* A tagclient client as a user of the installed SDK writes it: only <tagclient.h>, compiled as C and linked
 * against the installed libraries. It writes a value to the simulated server and reads it back. */
#include <tagclient.h>

#include <stdio.h>
#include <string.h>

#if !defined(TAGCLIENT_VERSION_NUMBER) || TAGCLIENT_VERSION_NUMBER < 10000
#error "tagclient.h states no version of 1.0 or later"
#endif

static int Fail(const char* what) {
    fprintf(stderr, "sdk client: %s\n", what);
    return 1;
}

int main(int argc, char** argv) {
    const char* expected_version = argc > 1 ? argv[1] : TAGCLIENT_VERSION;
    if (strcmp(expected_version, TAGCLIENT_VERSION) != 0)
        return Fail("the header's version is not the installed library's");
    if (QZDAC_Init() != QZDAC_TRUE)
        return Fail("QZDAC_Init failed");
    QZDAC_HSESSION session = QZDAC_Connect("", "Tagsink.SimServer.DA2", 0);
    if (session == 0)
        return Fail("cannot connect to Tagsink.SimServer.DA2");
    QZDAC_HGROUP group = QZDAC_AddGroup(session, "sdk", QZDAC_TRUE, 1000, 0, 0.0f, 0);
    QZDAC_HITEM item = group ? QZDAC_AddItem(session, group, "Memory.Int4") : 0;
    if (item == 0)
        return Fail("cannot add Memory.Int4");

    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = 4711;
    if (QZDAC_WriteItem(session, group, item, value, QZDAC_FALSE) != QZDAC_TRUE)
        return Fail("the write failed");
    VARIANT read;
    VariantInit(&read);
    FILETIME stamp = {0, 0};
    uint16_t quality = 0;
    if (QZDAC_ReadItem(session, group, item, &read, &stamp, &quality) != QZDAC_TRUE)
        return Fail("the read failed");
    int ok = read.vt == VT_I4 && read.lVal == 4711 && (quality & 0xC0) == 0xC0;
    VariantClear(&read);
    if (!ok)
        return Fail("the value read back differs from the one written");

    QZDAC_Disconnect(session);
    if (QZDAC_Uninit() != QZDAC_TRUE)
        return Fail("QZDAC_Uninit failed");
    printf("tagclient %s: wrote and read back 4711\n", TAGCLIENT_VERSION);
    return 0;
}
