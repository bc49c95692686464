#pragma once
// The whole object-relational layer.
#include "OrmClass.h"
#include "OrmDao.h"
#include "OrmDatabase.h"
#include "OrmQuery.h"
#include "OrmSerialize.h"
#include "OrmSqlTypes.h"
