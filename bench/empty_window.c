/* The floor for a program that shows a window: one top-level window of the
   style kestrad.exe's has, with the client size given on the command line
   (bench/bench.py passes the program's own), shown and painted with its
   class background, until it is closed. It imports nothing beyond USER32
   and what any program built with the same compilers imports. */
#include <stdlib.h>
#include <windows.h>

static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wp, LPARAM lp) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(window, message, wp, lp);
}

int main(int argc, char** argv) {
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  WNDCLASSA wc = {0};
  RECT frame = {0, 0, 0, 0};
  HWND window;
  MSG msg;
  if (argc != 3) return 2;
  frame.right = atoi(argv[1]);
  frame.bottom = atoi(argv[2]);
  wc.lpfnWndProc = Procedure;
  wc.hInstance = GetModuleHandleA(NULL);
  wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
  wc.lpszClassName = "EmptyWindow";
  if (!RegisterClassA(&wc) || !AdjustWindowRectEx(&frame, style, FALSE, 0)) return 1;
  window = CreateWindowExA(0, wc.lpszClassName, "Empty", style, CW_USEDEFAULT, CW_USEDEFAULT,
                           frame.right - frame.left, frame.bottom - frame.top, NULL, NULL,
                           wc.hInstance, NULL);
  if (!window) return 1;
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  while (GetMessageA(&msg, NULL, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}
