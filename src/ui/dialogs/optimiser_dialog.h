// "Setup of Optimisation Components": the objective and constraints, the
// controls and the integer controls of the model, edited in place.
#pragma once

#include <string>
#include <vector>

#include "casedata/opt_items.h"
#include "model/dialogs.h"
#include "ui/widgets/pages.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;

namespace model {
class CExcModel;
}

namespace ui {

class Grid;

class ObjectivePage : public Page {
 public:
  ObjectivePage(model::CExcModel& model, QWidget* parent = nullptr);
  void Load() override;
  void Store() override;
  QString Check() override;

 private:
  model::CExcModel& model_;
  QCheckBox* defined_;
  QComboBox* worksheet_;
  QLineEdit* cell_;
  QComboBox* mode_;
  QLineEdit* name_;
  QLineEdit* unit_;
  Grid* grid_;
};

class ControlsPage : public Page {
 public:
  ControlsPage(model::CExcModel& model, QWidget* parent = nullptr);
  void Load() override;
  void Store() override;
  QString Check() override;

 private:
  model::CExcModel& model_;
  Grid* grid_;
};

class IntegerControlsPage : public Page {
 public:
  IntegerControlsPage(model::CExcModel& model, QWidget* parent = nullptr);
  void Load() override;
  void Store() override;
  QString Check() override;

 private:
  // The list of controls with its buttons, and the selected control's fields.
  QGroupBox* ControlsBox();
  QGroupBox* DefinitionsBox();
  void FillList();
  void Show(int index);
  void Add();
  void Delete();
  void Clear();

  model::CExcModel& model_;
  int shown_ = -1;
  QListWidget* list_;
  QGroupBox* definitions_;
  QComboBox* worksheet_;
  QLineEdit* cell_;
  QLineEdit* name_;
  QLabel* statesLabel_;
  Grid* states_;
};

// On Cancel the items are put back as they were when it opened.
class OptimiserDialog : public TabbedDialog {
 public:
  OptimiserDialog(model::OptimiserPage first, model::CExcModel& model, QWidget* parent = nullptr);
  void reject() override;

 private:
  model::CExcModel& model_;
  casedata::CExcObjFn objective_;
  casedata::CExcclConstraint constraints_;
  casedata::CExcclControlVariable controls_;
  casedata::CExcclIntegerControl intControls_;
};

}  // namespace ui
