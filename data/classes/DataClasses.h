#pragma once
// The five persistent classes of a project file.

#include "Data_Blob.h"
#include "Data_Line.h"
#include "Data_Point.h"
#include "Data_Project.h"
#include "Data_Sample.h"

// Makes sure the five classes are in the class factory ("Data_Line",
// "Data_Point", "Data_Project", "Data_WorkSet", "Data_Sample") and the two
// records are Qt meta types. Their static entries are made before main; a
// program linking the data library statically calls this once at start so
// the linker keeps them. Safe to call more than once, from any thread.
void initDataClasses();
