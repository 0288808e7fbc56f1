#pragma once
// Locators: finding a row of a browse by typing its key value.
//
// EntryLocatorClass: a printable key typed while the list has the focus
// moves the focus into the locator's entry (bound to the key field) and
// starts its text with that key; accepting the entry positions the list on
// the first row whose key value is equal to or after the entered value.
//
// StepLocatorClass: a printable key typed in the list moves the highlight one
// row down; when that row's key value does not begin with the character, the
// list is positioned on the first row whose key value is equal to or after
// the character's value. Repeating a character steps through the rows whose
// values begin with it.
//
// Letter case is ignored when NoCase is set (texts are compared through the
// code page's upper case; the key's order ignores ASCII case).
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/file/file.h"

class BrowseClass;

class LocatorClass {
  public:
    virtual ~LocatorClass() = default;

    int Control = 0;           // the locator's entry (0: none)
    rt::FieldRef FreeElement;  // the key field the locator works on
    bool NoCase = false;
    BrowseClass* Browse = nullptr;

    void Init(int control, rt::FieldRef field, bool noCase, BrowseClass& browse);

    // A printable key typed while the list has the focus. True when handled.
    virtual bool TakeKey(int key);
    // The window's accepted event for a control. True when handled.
    virtual bool TakeAccepted(int control);

  protected:
    // Positions the browse on the first row whose key field is >= the value
    // given as text ("12", "pl").
    bool Locate(const std::string& cp1250);
    // The highlighted row's value of the field, as text (codes in digits).
    std::string HighlightedText() const;

  private:
    // The key values Locate positions at: a record image, its buffer kept
    // from one locate to the next (a member's record is 20 KB).
    std::vector<char> image_;
};

class StepLocatorClass : public LocatorClass {
  public:
    bool TakeKey(int key) override;
};

class EntryLocatorClass : public LocatorClass {
  public:
    bool TakeKey(int key) override;
    bool TakeAccepted(int control) override;
};
