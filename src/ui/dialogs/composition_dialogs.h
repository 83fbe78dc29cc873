// The composition dialogs: a stream's composition block ("Composition"),
// the case's list of compositions and the component names of one.
#pragma once

#include <QDialog>
#include <string>

#include "casedata/composition.h"
#include "casedata/stream_data.h"

class QComboBox;
class QLineEdit;

namespace ui {

class Grid;
class PropertyGrid;

// Edits a copy of the stream's block and composition name; OK copies them
// back, unless "Compositional data cell" is blank.
class CompositionDialog : public QDialog {
 public:
  CompositionDialog(const casedata::CExcclCompositionDefinition& list, std::string& compositionName,
                    casedata::CExcStreamCompositionData& block, QWidget* parent = nullptr);
  void accept() override;

 private:
  std::string& name_;
  casedata::CExcStreamCompositionData& block_;
  QComboBox* composition_;
  QLineEdit* table_;
  QLineEdit* interaction_;
  QLineEdit* eosModel_;
  QLineEdit* massRate_;
  QComboBox* massRateUnit_;
  PropertyGrid* grid_;
};

// Edits the list it is given in place (the caller's deep copy): OK names
// every composition from its row.
class CompositionListDialog : public QDialog {
 public:
  explicit CompositionListDialog(casedata::CExcclCompositionDefinition& list,
                                 QWidget* parent = nullptr);
  Grid* ListGrid() const { return grid_; }
  void accept() override;

 private:
  void Reload();
  void RefreshRow(int row);
  void Edit(int row);
  void Delete(int row);
  void StoreNames();

  casedata::CExcclCompositionDefinition& list_;
  Grid* grid_;
};

// "Set up a composition": the component names, in place on OK.
class CompositionSetupDialog : public QDialog {
 public:
  explicit CompositionSetupDialog(casedata::CExcCompositionDefinition& definition,
                                  QWidget* parent = nullptr);
  Grid* NamesGrid() const { return grid_; }
  void accept() override;

 private:
  casedata::CExcCompositionDefinition& definition_;
  Grid* grid_;
};

}  // namespace ui
