#include "tests/fakes/fake_ui.h"

#include <stdexcept>

namespace zd::test {

bool FakeUi::open_window(const std::string& title, int x, int y, int cw, int ch) {
    Window w;
    w.title = title;
    w.x = x;
    w.y = y;
    w.w = cw;
    w.h = ch;
    windows.push_back(w);
    last_was_option_ = false;
    return true;
}

void FakeUi::close_window() {
    if (!windows.empty()) window().open = false;
}

void FakeUi::window_position(int& x, int& y) {
    x = window().x;
    y = window().y;
}

void FakeUi::add_gadget(const GadgetSpec& def) {
    Gadget gd;
    gd.def = def;
    gd.text = def.caption;
    gd.texts.push_back(def.caption);
    if (def.kind == GadgetKind::Option) {
        if (!last_was_option_) ++next_group_;
        gd.group = next_group_;
    }
    last_was_option_ = def.kind == GadgetKind::Option;
    window().order.push_back(def.id);
    window().gadgets[def.id] = gd;
}

FakeUi::Gadget& FakeUi::g(int id) {
    if (windows.empty()) throw std::logic_error("no window");
    auto it = window().gadgets.find(id);
    if (it == window().gadgets.end()) throw std::logic_error("no gadget " + std::to_string(id));
    return it->second;
}

void FakeUi::set_text(int id, const std::string& text) {
    g(id).text = text;
    g(id).texts.push_back(text);
}

void FakeUi::set_colours(int id, Rgb text, Rgb bg) {
    g(id).fg = text;
    g(id).bg = bg;
    g(id).coloured = true;
}

void FakeUi::set_checked(int id, bool c) {
    Gadget& gd = g(id);
    if (c && gd.def.kind == GadgetKind::Option) {
        for (auto& [other_id, other] : window().gadgets)
            if (other.group == gd.group) other.checked = false;
    }
    gd.checked = c;
}

void FakeUi::set_item_text(int id, int index, const std::string& t) {
    auto& items = g(id).items;
    if (index < 0 || index >= static_cast<int>(items.size())) throw std::logic_error("bad item");
    items[static_cast<std::size_t>(index)] = t;
}

void FakeUi::select_item(int id, int index) {
    auto& gd = g(id);
    gd.selected = (index >= 0 && index < static_cast<int>(gd.items.size())) ? index : -1;
}

UiEvent FakeUi::wait_event() {
    while (queue_.empty() && !hooks_.empty()) {
        auto fn = std::move(hooks_.front());
        hooks_.pop_front();
        fn();
    }
    if (queue_.empty()) {
        ++waits_when_dry;
        if (waits_when_dry > 100) throw std::runtime_error("program keeps waiting for events");
        UiEvent e;
        e.kind = EventKind::CloseRequest;
        return e;
    }
    Pending p = std::move(queue_.front());
    queue_.pop_front();
    if (p.apply) p.apply();
    return p.event;
}

void FakeUi::drop_queued_events() {
    dropped_events += static_cast<int>(queue_.size());
    queue_.clear();
}

void FakeUi::show_note(const std::string& t) { notes.push_back(t); }

bool FakeUi::ask_yes_no(const std::string& title, const std::string& text) {
    questions.push_back(title + "|" + text);
    if (yes_no_answers.empty()) return false;
    bool a = yes_no_answers.front();
    yes_no_answers.pop_front();
    return a;
}

std::optional<std::string> FakeUi::ask_text(const std::string& title, const std::string& prompt,
                                            const std::string& def) {
    text_prompts.push_back(title + "|" + prompt + "|" + def);
    if (text_answers.empty()) return std::nullopt;
    auto a = text_answers.front();
    text_answers.pop_front();
    return a;
}

void FakeUi::click(int id) {
    UiEvent e{EventKind::Gadget, id, -1};
    queue_.push_back({e, [this, id] {
                          Gadget& gd = g(id);
                          if (gd.def.kind == GadgetKind::CheckBox) gd.checked = !gd.checked;
                          if (gd.def.kind == GadgetKind::Option) set_checked(id, true);
                      }});
}

void FakeUi::choose_item(int id, int index) {
    queue_.push_back({UiEvent{EventKind::Gadget, id, -1}, [this, id, index] { select_item(id, index); }});
}

void FakeUi::move_track(int id, int position) {
    queue_.push_back({UiEvent{EventKind::Gadget, id, -1}, [this, id, position] { g(id).track = position; }});
}

void FakeUi::pick_date(int id, int year, int month, int day) {
    queue_.push_back({UiEvent{EventKind::Gadget, id, -1}, [this, id, year, month, day] {
                          g(id).date = PickedDate{year, month, day};
                      }});
}

void FakeUi::press_mouse(int client_y) {
    queue_.push_back({UiEvent{EventKind::LeftButtonDown, 0, client_y}, nullptr});
}

void FakeUi::request_close() { queue_.push_back({UiEvent{EventKind::CloseRequest, 0, -1}, nullptr}); }

}  // namespace zd::test
