// The published-variables editor and the driver configuration.
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;

namespace model {
class CExcModel;
}

namespace ui {

class Grid;

// "Setup variables to export to Conflux": on OK the model's published
// variables are rebuilt from the grid.
class PublishedDialog : public QDialog {
 public:
  explicit PublishedDialog(model::CExcModel& model, QWidget* parent = nullptr);
  Grid* VariablesGrid() const { return grid_; }
  void accept() override;

 private:
  model::CExcModel& model_;
  Grid* grid_;
};

// "Excel driver configuration settings": the driver-wide plug-in list.
class ConfigurationDialog : public QDialog {
 public:
  explicit ConfigurationDialog(std::string& plugIns, QWidget* parent = nullptr);
  void accept() override;

 private:
  std::string& plugIns_;
  QLineEdit* field_;
};

}  // namespace ui
