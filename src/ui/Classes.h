// The toolkit's object model shared by every window and dialog: objects,
// owned components, notify events, keys with their shift state, and the
// rounding multiply-divide that every scaled size goes through.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ui {

class TObject {
 public:
  virtual ~TObject() = default;
};

// An event handler that gets the object it was raised on; empty = not set.
using TNotifyEvent = std::function<void(TObject* sender)>;

// A named object that may own other components; owned ones are freed, in
// reverse order of creation, with their owner.
class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* owner = nullptr, std::string name = {});
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  const std::string& Name() const { return name_; }
  TComponent* Owner() const { return owner_; }
  // The owned components in creation (declaration) order.
  const std::vector<std::unique_ptr<TComponent>>& Components() const { return components_; }

  // Creates a component owned by this one; the pointer stays valid as long as
  // this component lives.
  template <typename T, typename... Args>
  T* Create(std::string name, Args&&... args) {
    auto component = std::make_unique<T>(this, std::move(name), std::forward<Args>(args)...);
    T* raw = component.get();
    components_.push_back(std::move(component));
    return raw;
  }

 private:
  TComponent* owner_;
  std::string name_;
  std::vector<std::unique_ptr<TComponent>> components_;
};

// Windows' MulDiv: a * b / c in 64 bits, rounded to nearest (halves away from
// zero); -1 when c is 0.
int MulDiv(int a, int b, int c);

// ---- Keys ---------------------------------------------------------------------

// Virtual-key codes, the same numbers the Windows side receives.
using TKey = uint16_t;
constexpr TKey vkTab = 0x09;
constexpr TKey vkReturn = 0x0D;
constexpr TKey vkEscape = 0x1B;
constexpr TKey vkSpace = 0x20;
constexpr TKey vkF4 = 0x73;
// Letters and digits are their upper-case ASCII codes ('C' = 0x43).

enum TShiftState : uint8_t { ssNone = 0, ssShift = 1, ssAlt = 2, ssCtrl = 4 };
inline TShiftState operator|(TShiftState a, TShiftState b) {
  return static_cast<TShiftState>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

struct TKeyEvent {
  TKey key = 0;
  TShiftState shift = ssNone;

  bool Is(TKey k, TShiftState s = ssNone) const { return key == k && shift == s; }
  bool HasAny(TShiftState s) const { return (shift & s) != 0; }
};

// The key's name as a user writes it: "Enter", "Shift+Tab", "Alt+F4", "Ctrl+C".
std::string KeyName(const TKeyEvent& key);
// The reverse, tolerant of letter case and surrounding blanks ("esc", " Enter ");
// false for a name that is not a key.
bool ParseKeyName(const std::string& name, TKeyEvent& key);

}  // namespace ui
