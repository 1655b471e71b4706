#include "applicability/applicability.h"

#include "applicability/portable/applicability_rule.h"
#include "applicability/installed_product.h"
#include "applicability/own_identity.h"

int CheckApplicability() {
  ReadInstalledVersion();
  return DecideApplicability(InstalledVersion(), VersionEntry(), GetOwnVersion());
}
