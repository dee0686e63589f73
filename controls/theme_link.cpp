// The theme link's observers.
#include "controls/theme_link.h"

#include <algorithm>
#include <utility>

TCustomThemeLink::~TCustomThemeLink() {
  // Taken out first: an observer may remove itself while it is told.
  const std::vector<TThemeLinkObserver*> observers = std::exchange(FObservers, {});
  for (TThemeLinkObserver* observer : observers) observer->ThemeLinkDestroyed(this);
}

void TCustomThemeLink::AddObserver(TThemeLinkObserver* observer) {
  if (std::find(FObservers.begin(), FObservers.end(), observer) == FObservers.end()) {
    FObservers.push_back(observer);
  }
}

void TCustomThemeLink::RemoveObserver(TThemeLinkObserver* observer) {
  FObservers.erase(std::remove(FObservers.begin(), FObservers.end(), observer), FObservers.end());
}
