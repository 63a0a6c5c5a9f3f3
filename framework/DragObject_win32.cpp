// Dragging a control: the drag of the class library within our own windows. The source holds
// the mouse capture for the whole drag, so every move and the release reach its window, which
// hands them here; the control under the pointer is asked whether it accepts (drag over) and
// is given the drop.

#include <windows.h>
#include <windowsx.h>

#include <cstdlib>

#include "framework/Controls.h"
#include "framework/Win32Util.h"

namespace {

struct DragState {
  TControl* source = nullptr;
  TDragObject* object = nullptr;  // what OnStartDrag supplied; not ours
  bool started = false;           // false until the pointer moves past the threshold
  POINT origin{};
  int threshold = 0;
  TControl* target = nullptr;  // the control under the pointer that was told dsDragEnter
  bool accepted = false;
};

DragState drag;

// The window that holds the capture for a drag of `c`: its own, or its parent's for a
// graphic control.
HWND CaptureWindowOf(TControl* c) {
  if (auto* w = dynamic_cast<TWinControl*>(c)) return w->HandleAllocated() ? static_cast<HWND>(w->Handle()) : nullptr;
  return c->Parent() && c->Parent()->HandleAllocated() ? static_cast<HWND>(c->Parent()->Handle()) : nullptr;
}

// Our control at a screen point: the innermost framework window there, then a graphic
// child of it.
TControl* ControlAt(POINT screen) {
  HWND h = WindowFromPoint(screen);
  TWinControl* w = nullptr;
  while (h && !(w = fwwin::ControlOf(h))) h = GetParent(h);
  if (!w) return nullptr;
  const TPoint p = w->ScreenToClient({screen.x, screen.y});
  for (int i = w->ControlCount() - 1; i >= 0; --i) {
    TControl* c = w->Controls(i);
    if (!dynamic_cast<TWinControl*>(c) && c->Visible() && c->BoundsRect().Contains(p.x, p.y)) return c;
  }
  return w;
}

TObject* SourceObject() { return drag.object ? static_cast<TObject*>(drag.object) : drag.source; }

void Start() {
  drag.started = true;
  TDragObject* object = nullptr;
  drag.source->DoStartDrag(object);
  drag.object = object;
}

// The pointer is at `screen`: leave the old target, enter or move over the new one, and
// show whether a drop would be taken.
void MoveTo(POINT screen) {
  TControl* now = ControlAt(screen);
  TDragState state = dsDragMove;
  if (now != drag.target) {
    if (drag.target) {
      const TPoint p = drag.target->ScreenToClient({screen.x, screen.y});
      bool ignored = false;
      drag.target->DragOver(SourceObject(), p.x, p.y, dsDragLeave, ignored);
    }
    drag.target = now;
    state = dsDragEnter;
  }
  drag.accepted = false;
  if (drag.target) {
    const TPoint p = drag.target->ScreenToClient({screen.x, screen.y});
    drag.target->DragOver(SourceObject(), p.x, p.y, state, drag.accepted);
  }
  ::SetCursor(fwwin::CursorHandle(drag.accepted ? drag.source->DragCursor() : crNoDrop));
}

void Finish(bool drop, POINT screen) {
  const DragState was = drag;
  drag = DragState{};
  if (GetCapture() == CaptureWindowOf(was.source)) ReleaseCapture();
  if (!was.started) return;
  TControl* target = drop && was.accepted ? was.target : nullptr;
  if (was.target && !target) {
    const TPoint p = was.target->ScreenToClient({screen.x, screen.y});
    bool ignored = false;
    was.target->DragOver(was.object ? static_cast<TObject*>(was.object) : was.source, p.x, p.y, dsDragLeave, ignored);
  }
  const TControl* at = target ? target : was.source;
  const TPoint p = at->ScreenToClient({screen.x, screen.y});
  if (target) target->DragDrop(was.object ? static_cast<TObject*>(was.object) : was.source, p.x, p.y);
  was.source->DoEndDrag(target, p.x, p.y);
}

POINT ScreenPointOf(HWND h, LPARAM lp) {
  POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
  ClientToScreen(h, &pt);
  return pt;
}

}  // namespace

namespace fwwin {

bool DragMessage(TWinControl* w, TMessage& m) {
  if (!drag.source || !w->HandleAllocated()) return false;
  HWND h = static_cast<HWND>(w->Handle());
  if (h != CaptureWindowOf(drag.source)) return false;
  switch (m.msg) {
    case WM_MOUSEMOVE: {
      const POINT pt = ScreenPointOf(h, m.lParam);
      if (!drag.started &&
          (std::abs(pt.x - drag.origin.x) >= drag.threshold || std::abs(pt.y - drag.origin.y) >= drag.threshold))
        Start();
      if (drag.started) MoveTo(pt);
      return true;
    }
    case WM_LBUTTONUP:
      Finish(true, ScreenPointOf(h, m.lParam));
      return true;
    case WM_CAPTURECHANGED:
      // Another window took the mouse (a menu, a dialog): the drag ends without a drop.
      if (reinterpret_cast<HWND>(m.lParam) == h) return false;
      Finish(false, {0, 0});
      return false;
    default: return false;
  }
}

void BeginDragAt(TControl* c, POINT origin, bool immediate, int threshold) {
  // There is no docking here: a dock drag starts nothing.
  if (c->DragKind() == dkDock || drag.source) return;
  if (!CaptureWindowOf(c)) return;
  drag = DragState{};
  drag.source = c;
  drag.origin = origin;
  drag.threshold = threshold >= 0 ? threshold : GetSystemMetrics(SM_CXDRAG);
  c->SetMouseCapture(true);
  if (immediate) {
    Start();
    if (drag.source == c) MoveTo(origin);
  }
}

void ForgetDragControl(TControl* c) {
  if (drag.target == c) drag.target = nullptr;
  if (drag.source != c) return;
  HWND capture = CaptureWindowOf(c);
  drag = DragState{};
  if (capture && GetCapture() == capture) ReleaseCapture();
}

}  // namespace fwwin

// --- TControl's drag operations -------------------------------------------------------------

bool TControl::Dragging() const { return drag.source == this; }

void TControl::BeginDrag(bool immediate, int threshold) {
  POINT pt{};
  GetCursorPos(&pt);
  fwwin::BeginDragAt(this, pt, immediate, threshold);
}

void TControl::EndDrag(bool drop) {
  if (drag.source != this) return;
  POINT pt{};
  GetCursorPos(&pt);
  Finish(drop, pt);
}

void TControl::DoStartDrag(TDragObject*& dragObject) { OnStartDrag(this, dragObject); }

void TControl::DoEndDrag(TObject* target, int x, int y) { OnEndDrag(this, target, x, y); }

void TControl::DragOver(TObject* source, int x, int y, TDragState state, bool& accept) {
  // A control without a handler takes no drop; a handler starts from yes.
  accept = false;
  if (!OnDragOver) return;
  accept = true;
  OnDragOver(this, source, x, y, state, accept);
}

void TControl::DragDrop(TObject* source, int x, int y) { OnDragDrop(this, source, x, y); }
