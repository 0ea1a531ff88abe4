#include "app/BookFields.h"

#include <QLineEdit>
#include <utility>

#include "conversion/run/PrepareConversion.h"

namespace qm {

TBookFields::TBookFields(QLineEdit& title, QLineEdit& author, std::function<bool()> listed,
                         QObject* parent)
    : QObject(parent), title_{&title}, author_{&author}, listed_(std::move(listed)) {
    Watch(title_);
    Watch(author_);
}

void TBookFields::Watch(TField& field) {
    // Only the user's typing: the texts set here emit no textEdited.
    connect(field.edit, &QLineEdit::textEdited, this,
            [this, &field] { field.typedUnlisted = !listed_(); });
}

void TBookFields::Follow(TField& field, const std::string* own) {
    const bool keep = !own || (field.typedUnlisted && !field.edit->text().isEmpty());
    // From now on the text is the listed book's, typed or not.
    field.typedUnlisted = false;
    if (!keep) field.edit->setText(QString::fromStdString(*own));
}

void TBookFields::BookListed(const std::string& path) {
    // The same book again is no other book: what was typed for it stays.
    if (path == book_) {
        Follow(title_, nullptr);
        Follow(author_, nullptr);
        return;
    }
    book_ = path;
    const TBookNameParts own = OwnBookNames(path);
    Follow(title_, &own.title);
    Follow(author_, &own.author);
}

}  // namespace qm
