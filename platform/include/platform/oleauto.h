/*
 * OLE Automation types and services for platforms that lack them.
 *
 * On Windows this header only includes the system headers. Elsewhere it declares the same types with the
 * same memory layouts as 64-bit Windows (VARIANT is 24 bytes on 64-bit targets, 16 bytes on 32-bit ones)
 * and the subset of the system services that the toolkit, its clients and Tagsink need. The services live
 * in one shared library (qzoleaut), so memory allocated on one side of the tagclient API is freed by the
 * same allocator on the other side.
 *
 * Text: OLECHAR is a UTF-16 code unit. The "system ANSI code page" (CP_ACP) is UTF-8 on this platform.
 * Compiles as C and as C++.
 */
#ifndef QZ_PLATFORM_OLEAUTO_H
#define QZ_PLATFORM_OLEAUTO_H

#if defined(__GNUC__) && !defined(_WIN32)
#define QZ_OLEAUT_API __attribute__((visibility("default")))
#else
#define QZ_OLEAUT_API
#endif

#ifdef _WIN32
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
// user32's GetClassInfo is a macro (GetClassInfoA/W) that would rename the object model's method of that
// name in some translation units and not in others; nothing here calls the window-class function.
#undef GetClassInfo
#else

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef char CHAR;
typedef float FLOAT;
typedef double DOUBLE;
typedef void* PVOID;
typedef void* LPVOID;
typedef int32_t HRESULT;
typedef int32_t SCODE;
typedef uint32_t LCID;
typedef uint16_t VARTYPE;
typedef int16_t VARIANT_BOOL;
typedef double DATE;
#ifdef __cplusplus
typedef char16_t OLECHAR;
typedef char16_t WCHAR;
#else
typedef uint16_t OLECHAR;
typedef uint16_t WCHAR;
#endif
typedef OLECHAR* BSTR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef const CHAR* LPCSTR;
typedef CHAR* LPSTR;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

/* HRESULTs */
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_POINTER ((HRESULT)0x80004003L)
#define E_ABORT ((HRESULT)0x80004004L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_UNEXPECTED ((HRESULT)0x8000FFFFL)
#define E_ACCESSDENIED ((HRESULT)0x80070005L)
#define E_HANDLE ((HRESULT)0x80070006L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154L)
#define CO_E_CLASSSTRING ((HRESULT)0x800401F3L)
#define RPC_S_SERVER_UNAVAILABLE_HR ((HRESULT)0x800706BAL)
#define DISP_E_BADVARTYPE ((HRESULT)0x80020008L)
#define DISP_E_OVERFLOW ((HRESULT)0x8002000AL)
#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005L)
#define DISP_E_BADINDEX ((HRESULT)0x8002000BL)
#define DISP_E_ARRAYISLOCKED ((HRESULT)0x8002000DL)

/* VARTYPEs */
enum VARENUM {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF
};

/* VariantChangeType flags */
#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02
#define VARIANT_NOUSEROVERRIDE 0x04
#define VARIANT_LOCALBOOL 0x10

typedef struct tagFILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME;

typedef struct tagSYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME;

typedef struct _GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
typedef GUID CLSID;
typedef GUID IID;
typedef const GUID* REFGUID;
typedef const CLSID* REFCLSID;
typedef const IID* REFIID;

typedef union tagCY {
    struct {
        ULONG Lo;
        LONG Hi;
    } s;
    LONGLONG int64; /* the value times 10,000 */
} CY;

typedef struct tagDEC {
    USHORT wReserved;
    BYTE scale;
    BYTE sign; /* 0x80 when negative */
    ULONG Hi32;
    ULONGLONG Lo64;
} DECIMAL;

typedef struct tagSAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
} SAFEARRAYBOUND;

typedef struct tagSAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    PVOID pvData;
    SAFEARRAYBOUND rgsabound[1];
} SAFEARRAY;

#define FADF_BSTR 0x0100
#define FADF_UNKNOWN 0x0200
#define FADF_DISPATCH 0x0400
#define FADF_VARIANT 0x0800
#define FADF_HAVEVARTYPE 0x0080

typedef struct tagVARIANT VARIANT;
typedef VARIANT VARIANTARG;

struct tagVARIANT {
    union {
        struct {
            VARTYPE vt;
            WORD wReserved1;
            WORD wReserved2;
            WORD wReserved3;
            union {
                LONGLONG llVal;
                LONG lVal;
                BYTE bVal;
                SHORT iVal;
                FLOAT fltVal;
                DOUBLE dblVal;
                VARIANT_BOOL boolVal;
                SCODE scode;
                CY cyVal;
                DATE date;
                BSTR bstrVal;
                void* punkVal;
                void* pdispVal;
                SAFEARRAY* parray;
                BYTE* pbVal;
                SHORT* piVal;
                LONG* plVal;
                FLOAT* pfltVal;
                DOUBLE* pdblVal;
                VARIANT_BOOL* pboolVal;
                BSTR* pbstrVal;
                VARIANT* pvarVal;
                PVOID byref;
                CHAR cVal;
                USHORT uiVal;
                ULONG ulVal;
                ULONGLONG ullVal;
                INT intVal;
                UINT uintVal;
                DECIMAL* pdecVal;
                struct {
                    PVOID pvRecord;
                    PVOID pRecInfo;
                } brecVal;
            };
        };
        DECIMAL decVal;
    };
};

/* BSTR: length-prefixed UTF-16 strings. */
QZ_OLEAUT_API BSTR SysAllocString(const OLECHAR* psz);
QZ_OLEAUT_API BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch);
QZ_OLEAUT_API BSTR SysAllocStringByteLen(LPCSTR psz, UINT len);
QZ_OLEAUT_API void SysFreeString(BSTR bstr);
QZ_OLEAUT_API UINT SysStringLen(BSTR bstr);
QZ_OLEAUT_API UINT SysStringByteLen(BSTR bstr);
QZ_OLEAUT_API INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz);

/* VARIANT */
QZ_OLEAUT_API void VariantInit(VARIANTARG* pvarg);
QZ_OLEAUT_API HRESULT VariantClear(VARIANTARG* pvarg);
QZ_OLEAUT_API HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);
QZ_OLEAUT_API HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                                        VARTYPE vt);
QZ_OLEAUT_API HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid,
                                          USHORT wFlags, VARTYPE vt);

/* SAFEARRAY (one-dimensional arrays are what OPC uses; more dimensions are accepted by Create) */
QZ_OLEAUT_API SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound);
QZ_OLEAUT_API SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
QZ_OLEAUT_API HRESULT SafeArrayDestroy(SAFEARRAY* psa);
QZ_OLEAUT_API HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);
QZ_OLEAUT_API UINT SafeArrayGetDim(SAFEARRAY* psa);
QZ_OLEAUT_API UINT SafeArrayGetElemsize(SAFEARRAY* psa);
QZ_OLEAUT_API HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
QZ_OLEAUT_API HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
QZ_OLEAUT_API HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
QZ_OLEAUT_API HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
QZ_OLEAUT_API HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
QZ_OLEAUT_API HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
QZ_OLEAUT_API HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);

/* Task memory: what is exchanged with OPC servers. */
QZ_OLEAUT_API LPVOID CoTaskMemAlloc(size_t cb);
QZ_OLEAUT_API LPVOID CoTaskMemRealloc(LPVOID pv, size_t cb);
QZ_OLEAUT_API void CoTaskMemFree(LPVOID pv);

/* Time: FILETIME is 100 ns ticks since 1601-01-01; DATE is days since 1899-12-30. */
QZ_OLEAUT_API void GetSystemTimeAsFileTime(FILETIME* lpSystemTimeAsFileTime);
QZ_OLEAUT_API BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, SYSTEMTIME* lpSystemTime);
QZ_OLEAUT_API BOOL SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, FILETIME* lpFileTime);
QZ_OLEAUT_API BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, FILETIME* lpLocalFileTime);
QZ_OLEAUT_API INT SystemTimeToVariantTime(SYSTEMTIME* lpSystemTime, DOUBLE* pvtime);
QZ_OLEAUT_API INT VariantTimeToSystemTime(DOUBLE vtime, SYSTEMTIME* lpSystemTime);
QZ_OLEAUT_API DWORD GetTickCount(void);

/* GUIDs in registry text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" */
QZ_OLEAUT_API HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid);
QZ_OLEAUT_API INT StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, INT cchMax);
QZ_OLEAUT_API BOOL IsEqualGUID(REFGUID a, REFGUID b);

/* Code pages: CP_ACP (UTF-8 here), CP_UTF8 and 936 (Chinese, GBK; read and written as its superset
   GB18030). */
#define CP_ACP 0
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_ERR_INVALID_CHARS 0x00000080
QZ_OLEAUT_API INT MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, INT cbMultiByte,
                                      WCHAR* lpWideCharStr, INT cchWideChar);
QZ_OLEAUT_API INT WideCharToMultiByte(UINT CodePage, DWORD dwFlags, const WCHAR* lpWideCharStr,
                                      INT cchWideChar, LPSTR lpMultiByteStr, INT cbMultiByte,
                                      LPCSTR lpDefaultChar, BOOL* lpUsedDefaultChar);

#ifdef __cplusplus
}
#endif

#endif /* _WIN32 */

#ifdef __cplusplus
extern "C" {
#endif
/* The system's text for an HRESULT, as FormatMessage would give it; 0 when there is none.
   Writes at most cch-1 characters and a NUL; returns the number of characters written. */
QZ_OLEAUT_API DWORD QzFormatHResult(HRESULT hr, char* buffer, DWORD cch);

#ifdef __cplusplus
}
#endif
#endif /* QZ_PLATFORM_OLEAUTO_H */
