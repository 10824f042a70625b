// The Win32 subset ORVIX uses.
//
// On Windows this is <windows.h>. Elsewhere it declares exactly the types,
// constants and functions the renderer calls, with Windows' own names, values
// and signatures, plus the few that tests need and real Windows also has
// (GetPixel, GetDC(NULL), DeleteDC, GetGuiResources, GetCurrentProcess). The
// software GDI (gdi.cpp) and one USER/KERNEL backend (sdl.cpp, headless.cpp or
// web.cpp) implement them.
#ifndef ORVIX_PLATFORM_WIN32_H
#define ORVIX_PLATFORM_WIN32_H

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#else

#include <cstdint>

// Calling conventions only matter on 32-bit Windows.
#define WINAPI
#define CALLBACK

// ---- Basic types ---------------------------------------------------------
typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef std::uint32_t DWORD;  // 32 bits, as on Windows (LLP64), not unsigned long
typedef unsigned int UINT;
typedef std::int32_t LONG;
typedef unsigned short ATOM;
typedef char CHAR;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef void* LPVOID;
typedef std::uintptr_t WPARAM;
typedef std::intptr_t LPARAM;
typedef std::intptr_t LRESULT;
typedef DWORD COLORREF;  // 0x00BBGGRR: red in the lowest byte

#define TRUE 1
#define FALSE 0

// ---- Handles: opaque pointers, one distinct type per kind ----------------
typedef void* HANDLE;
typedef void* HGDIOBJ;
struct HDC__;
struct HBITMAP__;
struct HBRUSH__;
struct HPEN__;
struct HWND__;
struct HINSTANCE__;
struct HICON__;
struct HMENU__;
typedef HDC__* HDC;
typedef HBITMAP__* HBITMAP;
typedef HBRUSH__* HBRUSH;
typedef HPEN__* HPEN;
typedef HWND__* HWND;
typedef HINSTANCE__* HINSTANCE;
typedef HICON__* HICON;
typedef HICON HCURSOR;
typedef HMENU__* HMENU;

// ---- Geometry and messages -----------------------------------------------
typedef struct tagPOINT {
  LONG x;
  LONG y;
} POINT;

typedef struct tagRECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECT;

typedef struct tagMSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
} MSG;

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);

typedef struct tagWNDCLASSA {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
} WNDCLASSA;

// ---- Constants -----------------------------------------------------------
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101

#define PM_REMOVE 0x0001

#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002

#define WS_BORDER 0x00800000L
#define WS_VISIBLE 0x10000000L
#define CW_USEDEFAULT ((int)0x80000000)

#define COLOR_BTNFACE 15
#define IDC_ARROW ((LPCSTR)(std::uintptr_t)32512)

#define VK_SPACE 0x20
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28

#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8

#define SRCCOPY 0x00CC0020UL
#define CLR_INVALID 0xFFFFFFFFUL
#define GR_GDIOBJECTS 0

#define RGB(r, g, b) \
  ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))

// ---- GDI (software GDI: platform/gdi.cpp) --------------------------------
HDC WINAPI CreateCompatibleDC(HDC hdc);
BOOL WINAPI DeleteDC(HDC hdc);
HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy);
HBRUSH WINAPI CreateSolidBrush(COLORREF color);
HGDIOBJ WINAPI GetStockObject(int i);
HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h);
BOOL WINAPI DeleteObject(HGDIOBJ ho);
BOOL WINAPI Polygon(HDC hdc, const POINT* apt, int cpt);
int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr);
BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop);
COLORREF WINAPI GetPixel(HDC hdc, int x, int y);
HANDLE WINAPI GetCurrentProcess(void);
DWORD WINAPI GetGuiResources(HANDLE hProcess, DWORD uiFlags);

// ---- USER and KERNEL (one backend: platform/sdl.cpp, headless.cpp, web.cpp)
ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass);
HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle,
                            int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                            HINSTANCE hInstance, LPVOID lpParam);
BOOL WINAPI DestroyWindow(HWND hWnd);
HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName);
HBRUSH WINAPI GetSysColorBrush(int nIndex);
LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
void WINAPI PostQuitMessage(int nExitCode);
BOOL WINAPI PeekMessageA(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                         UINT wRemoveMsg);
BOOL WINAPI TranslateMessage(const MSG* lpMsg);
LRESULT WINAPI DispatchMessageA(const MSG* lpMsg);
HDC WINAPI GetDC(HWND hWnd);  // NULL: a DC compatible with the screen
int WINAPI ReleaseDC(HWND hWnd, HDC hDC);
short WINAPI GetAsyncKeyState(int vKey);
DWORD WINAPI GetTickCount(void);
void WINAPI Sleep(DWORD dwMilliseconds);

#endif  // _WIN32

#endif  // ORVIX_PLATFORM_WIN32_H
