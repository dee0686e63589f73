// A link from a themed control to a particular theme. No theme is installed in this system, so a
// link matters only as a property value, and that value must not outlive the link it names.
#pragma once

#include <vector>

class TCustomThemeLink;

// Told when a link it refers to is destroyed.
class TThemeLinkObserver {
 public:
  virtual void ThemeLinkDestroyed(TCustomThemeLink* link) = 0;

 protected:
  ~TThemeLinkObserver() = default;
};

class TCustomThemeLink {
 public:
  TCustomThemeLink() = default;
  // Tells every observer still registered that the link is gone.
  virtual ~TCustomThemeLink();
  TCustomThemeLink(const TCustomThemeLink&) = delete;
  TCustomThemeLink& operator=(const TCustomThemeLink&) = delete;

  void AddObserver(TThemeLinkObserver* observer);
  void RemoveObserver(TThemeLinkObserver* observer);

 private:
  std::vector<TThemeLinkObserver*> FObservers;
};
