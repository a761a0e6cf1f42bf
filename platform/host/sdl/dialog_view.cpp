#include "platform/host/sdl/dialog_view.h"

#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>
#include <imgui.h>

#include <string>

#include "platform/win/dialog.h"

namespace kv::sdl {

namespace {

// Dialog units to pixels as Win32 derives them from the dialog's font: a
// quarter of the average character width across (the default font's glyphs
// are 7 pixels wide), an eighth of the character height down (13 pixels).
constexpr float kUnitX = 1.75f;
constexpr float kUnitY = 1.625f;

// Win32 marks keyboard shortcuts with '&'; the view shows none.
std::string plain(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size() && text[i + 1] != '&') continue;
    out += text[i];
  }
  return out;
}

}  // namespace

DialogView::DialogView(SDL_Window* window, SDL_Renderer* renderer, SDL_GLContext glContext)
    : window_(window), renderer_(renderer), glContext_(glContext) {
  IMGUI_CHECKVERSION();
  ImGui::CreateContext();
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;  // nothing may be written into the data folder
  io.LogFilename = nullptr;
  // The keyboard works the dialog as Win32's dialog manager does (onKey), not
  // through Dear ImGui's own navigation.
  io.BackendFlags |= ImGuiBackendFlags_RendererHasVtxOffset;
  ImGui::StyleColorsLight();
  ImGui::GetStyle().WindowRounding = 0.0f;
  if (glContext_ != nullptr) {
    if (SDL_GL_MakeCurrent(window_, glContext_) != 0 ||
        !ImGui_ImplSDL2_InitForOpenGL(window_, glContext_))
      return;
    ready_ = ImGui_ImplOpenGL3_Init("#version 330 core");
    if (!ready_) ImGui_ImplSDL2_Shutdown();
    return;
  }
  if (!ImGui_ImplSDL2_InitForSDLRenderer(window_)) return;

  unsigned char* pixels = nullptr;
  int width = 0, height = 0;
  io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
  font_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_STATIC, width,
                            height);
  if (font_ == nullptr) return;
  SDL_UpdateTexture(font_, nullptr, pixels, width * 4);
  SDL_SetTextureBlendMode(font_, SDL_BLENDMODE_BLEND);
  io.Fonts->SetTexID(static_cast<ImTextureID>(font_));
  ready_ = true;
}

DialogView::~DialogView() {
  if (glContext_ != nullptr && ready_) {
    SDL_GL_MakeCurrent(window_, glContext_);
    ImGui_ImplOpenGL3_Shutdown();
  }
  if (glContext_ == nullptr || ready_) ImGui_ImplSDL2_Shutdown();
  ImGui::DestroyContext();
  if (font_ != nullptr) SDL_DestroyTexture(font_);
}

void DialogView::run(win::Dialog& dialog, const Backdrop& backdrop, const Other& other) {
  if (!ready_) {
    SDL_Log("kvKIT: the dialog view could not start: %s", SDL_GetError());
    dialog.cancel();
    return;
  }
  const Uint32 ownWindow = SDL_GetWindowID(window_);
  // WM_INITDIALOG returning TRUE puts the focus on the first tab stop.
  focus_ = -1;
  moveFocus(dialog, 1);
  // Dear ImGui takes a few frames to answer input (a click is a press in one
  // frame and a release in the next; a list opens in the frame after that), so
  // every batch of events is followed by a few frames before waiting again.
  constexpr int kFramesAfterInput = 3;
  int framesDue = kFramesAfterInput;
  while (!dialog.ended()) {
    SDL_Event event;
    const bool got =
        framesDue > 0 ? SDL_PollEvent(&event) != 0 : SDL_WaitEventTimeout(&event, 500) != 0;
    if (got) {
      framesDue = kFramesAfterInput;
      do {
        if (event.type == SDL_WINDOWEVENT && event.window.windowID == ownWindow &&
            event.window.event == SDL_WINDOWEVENT_CLOSE) {
          dialog.cancel();  // the owner of a modal dialog does not close under it
        } else if (event.type == SDL_WINDOWEVENT || event.type == SDL_QUIT) {
          other(event);
        }
        if (event.type == SDL_KEYDOWN) onKey(dialog, event.key.keysym);
        ImGui_ImplSDL2_ProcessEvent(&event);
      } while (!dialog.ended() && SDL_PollEvent(&event));
    }
    if (dialog.ended()) break;
    drawFrame(dialog, backdrop);
    if (framesDue > 0) --framesDue;
  }
}

void DialogView::moveFocus(const win::Dialog& dialog, int step) {
  const auto& controls = dialog.layout().controls;
  const int n = static_cast<int>(controls.size());
  for (int k = 1; k <= n; ++k) {
    const int i = ((focus_ < 0 ? (step > 0 ? -1 : 0) : focus_) + step * k % n + n) % n;
    const DWORD style = controls[static_cast<size_t>(i)].style;
    if ((style & WS_TABSTOP) && (style & WS_VISIBLE) && !(style & WS_DISABLED)) {
      focus_ = i;
      return;
    }
  }
}

void DialogView::onKey(win::Dialog& dialog, const SDL_Keysym& key) {
  if (popupOpen_) {
    if (key.sym == SDLK_ESCAPE) closePopup_ = true;
    return;  // the open list takes the mouse; keys wait until it is closed
  }
  const win::ControlTemplate* focused =
      focus_ >= 0 ? &dialog.layout().controls[static_cast<size_t>(focus_)] : nullptr;
  switch (key.sym) {
    case SDLK_ESCAPE:
      dialog.cancel();
      break;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      dialog.press(IDOK);
      break;
    case SDLK_TAB:
      moveFocus(dialog, (key.mod & KMOD_SHIFT) ? -1 : 1);
      break;
    case SDLK_SPACE:
      if (focused != nullptr && focused->kind == win::ControlKind::Button)
        dialog.press(focused->id);
      break;
    case SDLK_UP:
    case SDLK_DOWN:
      if (focused != nullptr && focused->kind == win::ControlKind::ComboBox) {
        const int count = dialog.itemCount(focused->id);
        const int now = dialog.selection(focused->id);
        const int next = now < 0 ? 0 : now + (key.sym == SDLK_DOWN ? 1 : -1);
        if (next >= 0 && next < count && next != now) dialog.choose(focused->id, next);
      }
      break;
    default:
      break;
  }
}

void DialogView::drawFrame(win::Dialog& dialog, const Backdrop& backdrop) {
  if (glContext_ != nullptr) ImGui_ImplOpenGL3_NewFrame();
  ImGui_ImplSDL2_NewFrame();
  ImGui::NewFrame();

  const win::DialogTemplate& layout = dialog.layout();
  const ImGuiStyle& style = ImGui::GetStyle();
  const ImVec2 content(layout.cx * kUnitX, layout.cy * kUnitY);
  const float titleHeight = ImGui::GetFontSize() + style.FramePadding.y * 2;
  const ImGuiIO& io = ImGui::GetIO();
  ImGui::SetNextWindowPos(ImVec2(io.DisplaySize.x * 0.5f, io.DisplaySize.y * 0.5f),
                          ImGuiCond_Always, ImVec2(0.5f, 0.5f));
  ImGui::SetNextWindowSize(ImVec2(content.x + style.WindowPadding.x * 2,
                                  content.y + titleHeight + style.WindowPadding.y * 2));
  // Focused once, when it opens: taking the focus every frame would close a
  // combo box's list as soon as it opened.
  if (ImGui::GetFrameCount() <= 1) ImGui::SetNextWindowFocus();
  const std::string title = plain(layout.titleUtf8) + "###dialog";
  ImGui::Begin(title.c_str(), nullptr,
               ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoCollapse |
                   ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoScrollbar);
  const ImVec2 origin = ImGui::GetCursorStartPos();
  bool changed = false;  // the dialog procedure refills boxes: stop reading them
  for (const win::ControlTemplate& c : layout.controls) {
    if (changed || dialog.ended()) break;
    if (!(c.style & WS_VISIBLE)) continue;
    ImGui::SetCursorPos(ImVec2(origin.x + c.x * kUnitX, origin.y + c.y * kUnitY));
    const int index = static_cast<int>(&c - layout.controls.data());
    ImGui::PushID(index);
    switch (c.kind) {
      case win::ControlKind::Static:
        ImGui::AlignTextToFramePadding();
        ImGui::TextUnformatted(plain(c.textUtf8).c_str());
        break;
      case win::ControlKind::Button:
        if (ImGui::Button(plain(c.textUtf8).c_str(), ImVec2(c.cx * kUnitX, c.cy * kUnitY))) {
          dialog.press(c.id);
          changed = true;
        }
        break;
      case win::ControlKind::ComboBox: {
        const int selected = dialog.selection(c.id);
        const std::string preview = selected >= 0 ? dialog.itemText(c.id, selected) : std::string();
        ImGui::SetNextItemWidth(c.cx * kUnitX);
        if (ImGui::BeginCombo("##combo", preview.c_str())) {
          if (closePopup_) ImGui::CloseCurrentPopup();
          const int count = dialog.itemCount(c.id);
          for (int i = 0; i < count && !changed; ++i) {
            ImGui::PushID(i);
            if (ImGui::Selectable(dialog.itemText(c.id, i).c_str(), i == selected)) {
              dialog.choose(c.id, i);
              changed = true;
            }
            if (i == selected) ImGui::SetItemDefaultFocus();
            ImGui::PopID();
          }
          ImGui::EndCombo();
        }
        break;
      }
      case win::ControlKind::Other:
        break;
    }
    if (index == focus_ && !changed) {
      const ImVec2 min = ImGui::GetItemRectMin(), max = ImGui::GetItemRectMax();
      ImGui::GetWindowDrawList()->AddRect(ImVec2(min.x - 2, min.y - 2),
                                          ImVec2(max.x + 2, max.y + 2), IM_COL32(40, 90, 200, 255),
                                          0.0f, 0, 2.0f);
    }
    ImGui::PopID();
  }
  popupOpen_ = ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId | ImGuiPopupFlags_AnyPopupLevel);
  closePopup_ = false;
  ImGui::End();
  // The picture behind a modal dialog is dimmed: it does not take input.
  ImGui::GetBackgroundDrawList()->AddRectFilled(ImVec2(0, 0), io.DisplaySize,
                                                IM_COL32(0, 0, 0, 112));
  ImGui::Render();

  if (glContext_ != nullptr) {
    backdrop();  // the host's frame, drawn with the window's context current
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    SDL_GL_SwapWindow(window_);
    return;
  }
  SDL_RenderSetClipRect(renderer_, nullptr);
  SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
  SDL_RenderClear(renderer_);
  backdrop();
  renderDrawData();
  SDL_RenderPresent(renderer_);
}

// Dear ImGui's triangles through SDL_RenderGeometryRaw, clipped per command.
void DialogView::renderDrawData() {
  const ImDrawData* data = ImGui::GetDrawData();
  if (data == nullptr) return;
  for (int n = 0; n < data->CmdListsCount; ++n) {
    const ImDrawList* list = data->CmdLists[n];
    const ImDrawVert* vertices = list->VtxBuffer.Data;
    const ImDrawIdx* indices = list->IdxBuffer.Data;
    for (const ImDrawCmd& cmd : list->CmdBuffer) {
      if (cmd.UserCallback != nullptr) {
        if (cmd.UserCallback != ImDrawCallback_ResetRenderState) cmd.UserCallback(list, &cmd);
        continue;
      }
      const float x0 = cmd.ClipRect.x - data->DisplayPos.x,
                  y0 = cmd.ClipRect.y - data->DisplayPos.y;
      const float x1 = cmd.ClipRect.z - data->DisplayPos.x,
                  y1 = cmd.ClipRect.w - data->DisplayPos.y;
      if (x1 <= x0 || y1 <= y0) continue;
      const SDL_Rect clip{static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0),
                          static_cast<int>(y1 - y0)};
      SDL_RenderSetClipRect(renderer_, &clip);
      const ImDrawVert* v = vertices + cmd.VtxOffset;
      SDL_RenderGeometryRaw(
          renderer_, static_cast<SDL_Texture*>(cmd.GetTexID()), &v->pos.x, sizeof(ImDrawVert),
          reinterpret_cast<const SDL_Color*>(&v->col), sizeof(ImDrawVert), &v->uv.x,
          sizeof(ImDrawVert), list->VtxBuffer.Size - static_cast<int>(cmd.VtxOffset),
          indices + cmd.IdxOffset, static_cast<int>(cmd.ElemCount), sizeof(ImDrawIdx));
    }
  }
  SDL_RenderSetClipRect(renderer_, nullptr);
}

}  // namespace kv::sdl
