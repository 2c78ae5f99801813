/* A console driver for window tests: finds the installer's windows, describes
 * them as JSON, presses their buttons and keys and reads the clipboard. It runs
 * as a separate process in the same Wine prefix and desktop as the installer.
 * Exit codes: 0 done, 1 not found / timed out / failed, 2 bad usage. */
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static void Usage(void) {
  fputs(
      "usage: windriver list\n"
      "       windriver wait TITLE [CLASS|*] [SECONDS]   a visible, non-empty top-level window\n"
      "       windriver gone HWND [SECONDS]              wait until the window no longer exists\n"
      "       windriver describe HWND\n"
      "       windriver click HWND                       posts BM_CLICK\n"
      "       windriver key HWND VK [shift|ctrl|alt]     posted to HWND's focus\n"
      "       windriver input HWND VK [shift|ctrl|alt]   real input after activating HWND\n"
      "       windriver close HWND | syscmd-close HWND\n"
      "       windriver clipboard                        prints CF_TEXT as it stands\n"
      "       windriver msgmetrics TEXT                  a message dialog's measures for TEXT\n"
      "       windriver fonts                            what the designed fonts come out as\n",
      stderr);
}

/* JSON string output: the bytes are ANSI text, written as ASCII with \u escapes. */
static void PutJsonString(const char* text) {
  WCHAR wide[1024];
  int count = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 1024);
  putchar('"');
  for (int i = 0; i < count - 1; ++i) {
    WCHAR c = wide[i];
    if (c == '"' || c == '\\')
      printf("\\%c", (char)c);
    else if (c < 0x20 || c >= 0x7F)
      printf("\\u%04x", (unsigned)c);
    else
      putchar((char)c);
  }
  putchar('"');
}

static HWND ParseHwnd(const char* text) {
  char* end = NULL;
  unsigned long value = strtoul(text, &end, 0);
  while (end != text && (*end == '\r' || *end == '\n' || *end == ' ')) ++end;
  if (end == text || *end != 0) return NULL;
  return (HWND)(ULONG_PTR)value;
}

/* The window's text as its own process answers WM_GETTEXT (which GetWindowTextA
 * does not ask for controls of another process). */
static void ControlText(HWND hwnd, char* text, int size) {
  DWORD_PTR length = 0;
  text[0] = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, (WPARAM)size, (LPARAM)text, SMTO_ABORTIFHUNG, 2000,
                           &length))
    text[0] = 0;
  text[size - 1] = 0;
}

static void PutRect(const char* name, RECT r) {
  printf("\"%s\":[%ld,%ld,%ld,%ld]", name, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

static void PutWindowCommon(HWND hwnd) {
  char className[256] = "", caption[512] = "", text[1024];
  RECT window, client;
  GetClassNameA(hwnd, className, sizeof className);
  GetWindowTextA(hwnd, caption, sizeof caption);
  ControlText(hwnd, text, sizeof text);
  GetWindowRect(hwnd, &window);
  GetClientRect(hwnd, &client);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  printf("\"hwnd\":\"0x%lx\",\"pid\":%lu,\"class\":", (unsigned long)(ULONG_PTR)hwnd,
         (unsigned long)pid);
  PutJsonString(className);
  printf(",\"caption\":");
  PutJsonString(caption);
  printf(",\"text\":");
  PutJsonString(text);
  printf(",");
  PutRect("window", window);
  printf(",\"client\":[%ld,%ld]", client.right, client.bottom);
  printf(",\"style\":%lu,\"exstyle\":%lu,\"visible\":%s,\"enabled\":%s",
         (unsigned long)GetWindowLongA(hwnd, GWL_STYLE),
         (unsigned long)GetWindowLongA(hwnd, GWL_EXSTYLE), IsWindowVisible(hwnd) ? "true" : "false",
         IsWindowEnabled(hwnd) ? "true" : "false");
}

/* ---- list ---- */

static BOOL CALLBACK ListOne(HWND hwnd, LPARAM first) {
  if (!*(int*)first) printf(",\n");
  *(int*)first = 0;
  printf("{");
  PutWindowCommon(hwnd);
  HWND owner = GetWindow(hwnd, GW_OWNER);
  printf(",\"owner\":\"0x%lx\"}", (unsigned long)(ULONG_PTR)owner);
  return TRUE;
}

static int List(void) {
  int first = 1;
  printf("[");
  EnumWindows(ListOne, (LPARAM)&first);
  printf("]\n");
  return 0;
}

/* ---- wait ---- */

struct Search {
  const char* title;
  const char* className;
  HWND found;
};

static BOOL CALLBACK MatchOne(HWND hwnd, LPARAM param) {
  struct Search* search = (struct Search*)param;
  char caption[512] = "", className[256] = "";
  RECT r;
  if (!IsWindowVisible(hwnd)) return TRUE;
  GetWindowRect(hwnd, &r);
  if (r.right <= r.left || r.bottom <= r.top) return TRUE;
  GetWindowTextA(hwnd, caption, sizeof caption);
  if (strcmp(caption, search->title) != 0) return TRUE;
  GetClassNameA(hwnd, className, sizeof className);
  if (search->className && strcmp(search->className, className) != 0) return TRUE;
  search->found = hwnd;
  return FALSE;
}

static int Wait(int argc, char** argv) {
  struct Search search = {argv[0], NULL, NULL};
  if (argc > 1 && strcmp(argv[1], "*") != 0) search.className = argv[1];
  double seconds = argc > 2 ? atof(argv[2]) : 20.0;
  DWORD start = GetTickCount();
  for (;;) {
    EnumWindows(MatchOne, (LPARAM)&search);
    if (search.found) {
      printf("0x%lx\n", (unsigned long)(ULONG_PTR)search.found);
      return 0;
    }
    if (GetTickCount() - start > (DWORD)(seconds * 1000)) break;
    Sleep(100);
  }
  fprintf(stderr, "windriver: no window \"%s\" within %g s\n", argv[0], seconds);
  return 1;
}

static int Gone(HWND hwnd, double seconds) {
  DWORD start = GetTickCount();
  while (IsWindow(hwnd)) {
    if (GetTickCount() - start > (DWORD)(seconds * 1000)) return 1;
    Sleep(100);
  }
  return 0;
}

/* ---- describe ---- */

struct Children {
  HWND parent;
  int first;
};

static BOOL CALLBACK DescribeChild(HWND hwnd, LPARAM param) {
  struct Children* children = (struct Children*)param;
  RECT r;
  if (GetParent(hwnd) != children->parent) return TRUE; /* direct children only */
  if (!children->first) printf(",");
  children->first = 0;
  printf("\n  {");
  PutWindowCommon(hwnd);
  GetWindowRect(hwnd, &r);
  MapWindowPoints(HWND_DESKTOP, children->parent, (POINT*)&r, 2);
  printf(",");
  PutRect("rect", r);
  printf(",\"id\":%ld}", (long)GetWindowLongA(hwnd, GWL_ID));
  return TRUE;
}

static int Describe(HWND hwnd) {
  if (!IsWindow(hwnd)) {
    fprintf(stderr, "windriver: no window %p\n", (void*)hwnd);
    return 1;
  }
  GUITHREADINFO info;
  memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  DWORD thread = GetWindowThreadProcessId(hwnd, NULL);
  GetGUIThreadInfo(thread, &info);
  HWND owner = GetWindow(hwnd, GW_OWNER);
  printf("{");
  PutWindowCommon(hwnd);
  printf(",\"owner\":\"0x%lx\",\"focus\":\"0x%lx\",\"active\":\"0x%lx\",\"foreground\":\"0x%lx\"",
         (unsigned long)(ULONG_PTR)owner, (unsigned long)(ULONG_PTR)info.hwndFocus,
         (unsigned long)(ULONG_PTR)info.hwndActive,
         (unsigned long)(ULONG_PTR)GetForegroundWindow());
  printf(",\"children\":[");
  struct Children children = {hwnd, 1};
  EnumChildWindows(hwnd, DescribeChild, (LPARAM)&children);
  printf("]}\n");
  return 0;
}

/* ---- keys ---- */

static int ParseVk(const char* text) {
  static const struct {
    const char* name;
    int vk;
  } names[] = {{"Return", VK_RETURN}, {"Escape", VK_ESCAPE}, {"Tab", VK_TAB},
               {"space", VK_SPACE},   {"F4", VK_F4},         {"Left", VK_LEFT},
               {"Right", VK_RIGHT},   {"Up", VK_UP},         {"Down", VK_DOWN}};
  for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i)
    if (strcmp(text, names[i].name) == 0) return names[i].vk;
  if (strlen(text) == 1 &&
      ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= '0' && text[0] <= '9')))
    return text[0];
  if (strlen(text) == 1 && text[0] >= 'a' && text[0] <= 'z') return text[0] - 'a' + 'A';
  char* end = NULL;
  long value = strtol(text, &end, 0);
  return end != text && *end == 0 && value > 0 && value < 256 ? (int)value : 0;
}

static int ParseModifier(const char* text) {
  if (!text) return 0;
  if (strcmp(text, "shift") == 0) return VK_SHIFT;
  if (strcmp(text, "ctrl") == 0) return VK_CONTROL;
  if (strcmp(text, "alt") == 0) return VK_MENU;
  return -1;
}

/* A top-level window's keys go to its thread's focus, as the keyboard's would. */
static HWND KeyTarget(HWND hwnd) {
  if (GetParent(hwnd) != NULL && (GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD)) return hwnd;
  GUITHREADINFO info;
  memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, NULL), &info) && info.hwndFocus)
    return info.hwndFocus;
  return hwnd;
}

static int PostKey(HWND hwnd, int vk, int modifier) {
  HWND target = KeyTarget(hwnd);
  UINT scan = MapVirtualKeyA((UINT)vk, MAPVK_VK_TO_VSC);
  LPARAM down = 1 | ((LPARAM)scan << 16);
  LPARAM up = down | (1L << 30) | (1L << 31);
  BOOL ok;
  if (modifier == VK_MENU) {
    ok = PostMessageA(target, WM_SYSKEYDOWN, (WPARAM)vk, down | (1L << 29)) &&
         PostMessageA(target, WM_SYSKEYUP, (WPARAM)vk, up | (1L << 29));
  } else {
    ok = PostMessageA(target, WM_KEYDOWN, (WPARAM)vk, down) &&
         PostMessageA(target, WM_KEYUP, (WPARAM)vk, up);
  }
  return ok ? 0 : 1;
}

static void AddKey(INPUT* inputs, int* count, int vk, BOOL up) {
  memset(&inputs[*count], 0, sizeof inputs[*count]);
  inputs[*count].type = INPUT_KEYBOARD;
  inputs[*count].ki.wVk = (WORD)vk;
  inputs[*count].ki.wScan = (WORD)MapVirtualKeyA((UINT)vk, MAPVK_VK_TO_VSC);
  inputs[*count].ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  ++*count;
}

static int SendKey(HWND hwnd, int vk, int modifier) {
  HWND top = GetAncestor(hwnd, GA_ROOT);
  SetForegroundWindow(top);
  for (int i = 0; i < 20 && GetForegroundWindow() != top; ++i) Sleep(50);
  if (GetForegroundWindow() != top) {
    fprintf(stderr, "windriver: cannot bring %p to the foreground\n", (void*)top);
    return 1;
  }
  INPUT inputs[4];
  int count = 0;
  if (modifier) AddKey(inputs, &count, modifier, FALSE);
  AddKey(inputs, &count, vk, FALSE);
  AddKey(inputs, &count, vk, TRUE);
  if (modifier) AddKey(inputs, &count, modifier, TRUE);
  return SendInput((UINT)count, inputs, sizeof(INPUT)) == (UINT)count ? 0 : 1;
}

/* ---- message dialog metrics ---- */

/* What a message dialog for TEXT measures in the system's message-box font: the
 * dialog unit X (average width of the 52 letters) and Y (their height), the
 * word-wrapped text block within half the screen width, and the width of "OK". */
static int MessageMetrics(const char* text) {
  NONCLIENTMETRICSA metrics;
  memset(&metrics, 0, sizeof metrics);
  metrics.cbSize = sizeof metrics;
  HFONT font = SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)
                   ? CreateFontIndirectA(&metrics.lfMessageFont)
                   : (HFONT)GetStockObject(DEFAULT_GUI_FONT);
  HDC dc = GetDC(NULL);
  HGDIOBJ old = SelectObject(dc, font);
  static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  SIZE size, ok;
  GetTextExtentPointA(dc, letters, 52, &size);
  GetTextExtentPointA(dc, "OK", 2, &ok);
  RECT block = {0, 0, GetSystemMetrics(SM_CXSCREEN) / 2, 0};
  DrawTextA(dc, text, -1, &block, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
  printf("{\"x\":%ld,\"y\":%ld,\"w\":%ld,\"h\":%ld,\"ok\":%ld,\"screen\":[%d,%d]}\n", size.cx / 52,
         size.cy, block.right, block.bottom, ok.cx, GetSystemMetrics(SM_CXSCREEN),
         GetSystemMetrics(SM_CYSCREEN));
  SelectObject(dc, old);
  ReleaseDC(NULL, dc);
  return 0;
}

/* ---- the designed fonts ---- */

/* The face a font request gets, its "0" height and "Destination:" width, and its
 * character set: a missing font is replaced by another face without a word, so
 * the test asks what the request comes out as. */
static void DescribeFont(HDC dc, const char* face, int height, BYTE charset) {
  HFONT font =
      CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, charset, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face);
  HGDIOBJ old = SelectObject(dc, font);
  char got[LF_FACESIZE] = "";
  GetTextFaceA(dc, sizeof got, got);
  TEXTMETRICA metrics;
  GetTextMetricsA(dc, &metrics);
  SIZE zero, label;
  GetTextExtentPoint32A(dc, "0", 1, &zero);
  GetTextExtentPoint32A(dc, "Destination:", 12, &label);
  printf("{\"face\":");
  PutJsonString(got);
  printf(",\"charset\":%d,\"zeroHeight\":%ld,\"destinationWidth\":%ld}", metrics.tmCharSet, zero.cy,
         label.cx);
  SelectObject(dc, old);
  DeleteObject(font);
}

/* The install window's font, MS Sans Serif 8 at the screen's resolution, and
 * Marlett, in which the caption buttons are drawn. */
static int Fonts(void) {
  HDC dc = GetDC(NULL);
  const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  printf("{\"dpi\":%d,\"MS Sans Serif\":", dpi);
  DescribeFont(dc, "MS Sans Serif", -MulDiv(11, dpi, 96), DEFAULT_CHARSET);
  printf(",\"Marlett\":");
  DescribeFont(dc, "Marlett", -MulDiv(11, dpi, 96), SYMBOL_CHARSET);
  printf("}\n");
  ReleaseDC(NULL, dc);
  return 0;
}

/* ---- clipboard ---- */

static int Clipboard(void) {
  for (int i = 0; i < 20 && !OpenClipboard(NULL); ++i) Sleep(100);
  HANDLE data = GetClipboardData(CF_TEXT);
  if (!data) {
    CloseClipboard();
    fputs("windriver: no CF_TEXT on the clipboard\n", stderr);
    return 1;
  }
  const char* text = (const char*)GlobalLock(data);
  if (text) fputs(text, stdout);
  GlobalUnlock(data);
  CloseClipboard();
  return text ? 0 : 1;
}

int main(int argc, char** argv) {
  /* Lines end in LF, as the scripts that read them expect. */
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc < 2) {
    Usage();
    return 2;
  }
  const char* command = argv[1];
  if (strcmp(command, "list") == 0) return List();
  if (strcmp(command, "clipboard") == 0) return Clipboard();
  if (strcmp(command, "fonts") == 0) return Fonts();
  if (strcmp(command, "wait") == 0 && argc >= 3) return Wait(argc - 2, argv + 2);
  if (strcmp(command, "msgmetrics") == 0 && argc >= 3) return MessageMetrics(argv[2]);
  if (argc < 3) {
    Usage();
    return 2;
  }
  HWND hwnd = ParseHwnd(argv[2]);
  if (!hwnd) {
    Usage();
    return 2;
  }
  if (strcmp(command, "gone") == 0) return Gone(hwnd, argc > 3 ? atof(argv[3]) : 20.0);
  if (!IsWindow(hwnd)) {
    fprintf(stderr, "windriver: no window %s\n", argv[2]);
    return 1;
  }
  if (strcmp(command, "describe") == 0) return Describe(hwnd);
  if (strcmp(command, "click") == 0) return PostMessageA(hwnd, BM_CLICK, 0, 0) ? 0 : 1;
  if (strcmp(command, "close") == 0) return PostMessageA(hwnd, WM_CLOSE, 0, 0) ? 0 : 1;
  if (strcmp(command, "syscmd-close") == 0)
    return PostMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 1;
  if ((strcmp(command, "key") == 0 || strcmp(command, "input") == 0) && argc >= 4) {
    int vk = ParseVk(argv[3]);
    int modifier = ParseModifier(argc > 4 ? argv[4] : NULL);
    if (!vk || modifier < 0) {
      Usage();
      return 2;
    }
    return command[0] == 'k' ? PostKey(hwnd, vk, modifier) : SendKey(hwnd, vk, modifier);
  }
  Usage();
  return 2;
}
