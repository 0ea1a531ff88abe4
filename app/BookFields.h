#pragma once
// The title and author fields follow the listed book: when another book is
// listed, its own title and author (OwnBookNames) replace what was typed for
// the last one, so no book is written with another's. A field typed in
// while no book was listed keeps its text for the book listed next.
#include <QObject>
#include <functional>
#include <string>

class QLineEdit;

namespace qm {

class TBookFields : public QObject {
  public:
    // listed tells whether a book is in the list now.
    TBookFields(QLineEdit& title, QLineEdit& author, std::function<bool()> listed, QObject* parent);

    // The book at path (native) has just been listed.
    void BookListed(const std::string& path);

  private:
    struct TField {
        QLineEdit* edit;
        bool typedUnlisted = false;  // last typed in while no book was listed
    };
    void Watch(TField& field);
    // The field's text becomes own (nullptr: it stays), unless it was typed
    // in while no book was listed.
    static void Follow(TField& field, const std::string* own);

    TField title_, author_;
    std::function<bool()> listed_;
    std::string book_;  // the book the fields' texts are for; empty before the first
};

}  // namespace qm
