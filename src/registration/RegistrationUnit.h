#pragma once

#include "registration/RegistrationRec.h"

#include <memory>
#include <string>
#include <vector>

namespace orb
{

/// The editors of one page as the field model sees them; the wizard window supplies the implementation.
class IVisualFields
{
public:
    virtual ~IVisualFields() = default;
    /// Every editor, in page order, copies its control's contents into its field.
    virtual void SetToVariable() = 0;
    /// Every editor, in page order, refreshes its look from its field's warning state.
    virtual void UpdateUI() = 0;
};

/// One page of the registration form: its fields in display order and, while on screen, their editors.
class TBundleFields
{
public:
    /// The fields of the page, owned, in display order.
    std::vector<std::unique_ptr<TRField>> Items;
    /// The editors of the page while it is on screen, otherwise none; discarded with the page.
    std::unique_ptr<IVisualFields> VisualFields;

    /// The number of fields.
    size_t Count() const { return Items.size(); }
    /// The field at Index.
    TRField& operator[](size_t Index) const { return *Items.at(Index); }
    /// Appends a field.
    TRField& Add(std::unique_ptr<TRField> Field);

    /// The member texts of the page's fields joined by commas; NeedUpdate first copies the editors' contents.
    std::string JSONArrayText(bool NeedUpdate);
    /// Copies the editors' contents into the fields when the page has editors.
    void UpdateVisualFields();
    /// The local checks before a page is left (required fields, accepted declarations); true when nothing is
    /// marked. ReadAndAcceptHint is the tool tip of a local declaration.
    bool LocalValidateFields(const std::string& ReadAndAcceptHint);
};

/// The whole registration form: its pages in order; page 0 holds the account-type field.
class TFields
{
public:
    /// The pages, owned, in order.
    std::vector<std::unique_ptr<TBundleFields>> Pages;

    /// Appends a page and resolves every link again.
    void AddBundle(std::unique_ptr<TBundleFields> Bundle);
    /// Removes every page from index First on, the last first, and resolves the remaining links again.
    void DeletePagesFrom(size_t First);
    /// Resolves every field's Link to the field with that id (none when there is no such field).
    void AssignLinks();
    /// The first field with exactly this id, pages and fields in order; none when absent.
    TRField* GetFieldById(const std::string& FieldId) const;
    /// The current value of the field with this id, or the empty text.
    std::string GetFieldValueById(const std::string& Id) const;
    /// True when some field of the form has the same id as Field.
    bool IsExistField(const TRField& Field) const;
    /// The member texts of all pages joined by commas (no braces), the page on screen read from its editors.
    std::string GetParams();
    /// Applies the service's per-field warnings: a JSON object of id to message. Text that is not an object
    /// only clears the warnings.
    void MarkFields(const std::string& JSONText);
};

} // namespace orb
