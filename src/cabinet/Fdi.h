#pragma once
// The cabinet decompression interface with the names, values and layouts of the platform's
// <fdi.h>. Client code compiled against either header can call either our library or the
// system's cabinet.dll: on 32-bit Windows the structures use 4-byte packing and cdecl calls,
// exactly as the platform declares them. Whichever of the two headers comes first provides
// the declarations; the other then stays out of the way.
#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define FDIDIAMONDAPI __cdecl
#else
#define FDIDIAMONDAPI
#endif
#ifndef DIAMONDAPI
#define DIAMONDAPI FDIDIAMONDAPI
#endif

#ifdef __cplusplus
extern "C" {
#endif

// The basic Windows type names, identical to the platform's so that a later <windows.h>
// only repeats them.
#if defined(_WIN32)
typedef unsigned long ULONG;
typedef int INT_PTR;
#else
typedef unsigned long ULONG;
typedef intptr_t INT_PTR;
#endif
typedef unsigned short USHORT;
typedef unsigned int UINT;
typedef int BOOL;

#if defined(_WIN32) && !defined(_WIN64)
#pragma pack(push, 4)
#endif

#ifndef INCLUDED_TYPES_FCI_FDI
#define INCLUDED_TYPES_FCI_FDI 1

typedef struct {
  int erfOper;  // an FDIERROR value
  int erfType;  // secondary value, 0 when none
  BOOL fError;
} ERF;
typedef ERF* PERF;

#define CB_MAX_CHUNK 32768U
#define CB_MAX_DISK 0x7fffffffL
#define CB_MAX_FILENAME 256
#define CB_MAX_CABINET_NAME 256
#define CB_MAX_CAB_PATH 256
#define CB_MAX_DISK_NAME 256

typedef unsigned short TCOMP;
#define tcompMASK_TYPE 0x000F
#define tcompTYPE_NONE 0x0000
#define tcompTYPE_MSZIP 0x0001
#define tcompTYPE_QUANTUM 0x0002
#define tcompTYPE_LZX 0x0003
#define tcompBAD 0x000F
#define tcompMASK_LZX_WINDOW 0x1F00
#define tcompSHIFT_LZX_WINDOW 8
#define tcompMASK_QUANTUM_LEVEL 0x00F0
#define tcompSHIFT_QUANTUM_LEVEL 4
#define tcompMASK_QUANTUM_MEM 0x1F00
#define tcompSHIFT_QUANTUM_MEM 8
#define CompressionTypeFromTCOMP(tc) ((tc) & tcompMASK_TYPE)

#endif  // INCLUDED_TYPES_FCI_FDI

#ifndef INCLUDED_FDI
#define INCLUDED_FDI 1

typedef enum {
  FDIERROR_NONE,
  FDIERROR_CABINET_NOT_FOUND,
  FDIERROR_NOT_A_CABINET,
  FDIERROR_UNKNOWN_CABINET_VERSION,
  FDIERROR_CORRUPT_CABINET,
  FDIERROR_ALLOC_FAIL,
  FDIERROR_BAD_COMPR_TYPE,
  FDIERROR_MDI_FAIL,
  FDIERROR_TARGET_FILE,
  FDIERROR_RESERVE_MISMATCH,
  FDIERROR_WRONG_CABINET,
  FDIERROR_USER_ABORT
} FDIERROR;

#ifndef _A_NAME_IS_UTF
#define _A_NAME_IS_UTF 0x80
#endif
#ifndef _A_EXEC
#define _A_EXEC 0x40
#endif

typedef void* HFDI;

typedef struct {
  long cbCabinet;
  USHORT cFolders;
  USHORT cFiles;
  USHORT setID;
  USHORT iCabinet;
  BOOL fReserve;
  BOOL hasprev;
  BOOL hasnext;
} FDICABINETINFO;
typedef FDICABINETINFO* PFDICABINETINFO;

typedef enum { fdidtNEW_CABINET, fdidtNEW_FOLDER, fdidtDECRYPT } FDIDECRYPTTYPE;

typedef struct {
  FDIDECRYPTTYPE fdidt;
  void* pvUser;
  union {
    struct {
      void* pHeaderReserve;
      USHORT cbHeaderReserve;
      USHORT setID;
      int iCabinet;
    } cabinet;
    struct {
      void* pFolderReserve;
      USHORT cbFolderReserve;
      USHORT iFolder;
    } folder;
    struct {
      void* pDataReserve;
      USHORT cbDataReserve;
      void* pbData;
      USHORT cbData;
      BOOL fSplit;
      USHORT cbPartial;
    } decrypt;
  };
} FDIDECRYPT;
typedef FDIDECRYPT* PFDIDECRYPT;

typedef void*(DIAMONDAPI* PFNALLOC)(ULONG cb);
typedef void(DIAMONDAPI* PFNFREE)(void* pv);
typedef INT_PTR(DIAMONDAPI* PFNOPEN)(char* pszFile, int oflag, int pmode);
typedef UINT(DIAMONDAPI* PFNREAD)(INT_PTR hf, void* pv, UINT cb);
typedef UINT(DIAMONDAPI* PFNWRITE)(INT_PTR hf, void* pv, UINT cb);
typedef int(DIAMONDAPI* PFNCLOSE)(INT_PTR hf);
typedef long(DIAMONDAPI* PFNSEEK)(INT_PTR hf, long dist, int seektype);
typedef int(DIAMONDAPI* PFNFDIDECRYPT)(PFDIDECRYPT pfdid);

#define FNALLOC(fn) void* DIAMONDAPI fn(ULONG cb)
#define FNFREE(fn) void DIAMONDAPI fn(void* pv)
#define FNOPEN(fn) INT_PTR DIAMONDAPI fn(char* pszFile, int oflag, int pmode)
#define FNREAD(fn) UINT DIAMONDAPI fn(INT_PTR hf, void* pv, UINT cb)
#define FNWRITE(fn) UINT DIAMONDAPI fn(INT_PTR hf, void* pv, UINT cb)
#define FNCLOSE(fn) int DIAMONDAPI fn(INT_PTR hf)
#define FNSEEK(fn) long DIAMONDAPI fn(INT_PTR hf, long dist, int seektype)
#define FNFDIDECRYPT(fn) int DIAMONDAPI fn(PFDIDECRYPT pfdid)

typedef struct {
  long cb;
  char* psz1;
  char* psz2;
  char* psz3;
  void* pv;
  INT_PTR hf;
  USHORT date;
  USHORT time;
  USHORT attribs;
  USHORT setID;
  USHORT iCabinet;
  USHORT iFolder;
  FDIERROR fdie;
} FDINOTIFICATION, *PFDINOTIFICATION;

typedef enum {
  fdintCABINET_INFO,
  fdintPARTIAL_FILE,
  fdintCOPY_FILE,
  fdintCLOSE_FILE_INFO,
  fdintNEXT_CABINET,
  fdintENUMERATE
} FDINOTIFICATIONTYPE;

typedef INT_PTR(DIAMONDAPI* PFNFDINOTIFY)(FDINOTIFICATIONTYPE fdint, PFDINOTIFICATION pfdin);
#define FNFDINOTIFY(fn) INT_PTR DIAMONDAPI fn(FDINOTIFICATIONTYPE fdint, PFDINOTIFICATION pfdin)

#define cpuUNKNOWN (-1)
#define cpu80286 (0)
#define cpu80386 (1)

HFDI DIAMONDAPI FDICreate(PFNALLOC pfnalloc, PFNFREE pfnfree, PFNOPEN pfnopen, PFNREAD pfnread,
                          PFNWRITE pfnwrite, PFNCLOSE pfnclose, PFNSEEK pfnseek, int cpuType, PERF perf);
BOOL DIAMONDAPI FDIIsCabinet(HFDI hfdi, INT_PTR hf, PFDICABINETINFO pfdici);
BOOL DIAMONDAPI FDICopy(HFDI hfdi, char* pszCabinet, char* pszCabPath, int flags, PFNFDINOTIFY pfnfdin,
                        PFNFDIDECRYPT pfnfdid, void* pvUser);
BOOL DIAMONDAPI FDIDestroy(HFDI hfdi);

#endif  // INCLUDED_FDI

#if defined(_WIN32) && !defined(_WIN64)
#pragma pack(pop)
#endif

#ifdef __cplusplus
}
#endif

#if defined(__cplusplus) && defined(_WIN32) && !defined(_WIN64)
// The layouts every 32-bit client of cabinet.dll was compiled with.
static_assert(sizeof(ERF) == 12, "ERF layout");
static_assert(sizeof(FDICABINETINFO) == 24, "FDICABINETINFO layout");
static_assert(sizeof(FDINOTIFICATION) == 40 && offsetof(FDINOTIFICATION, hf) == 20 &&
                  offsetof(FDINOTIFICATION, date) == 24 && offsetof(FDINOTIFICATION, fdie) == 36,
              "FDINOTIFICATION layout");
static_assert(sizeof(FDIDECRYPT) == 32, "FDIDECRYPT layout");
#endif
