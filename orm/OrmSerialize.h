#pragma once
// Stream form of registered classes: the class name, then every serialisable
// member in registration order. A many-to-one member is written as its
// parent's ID only; a one-to-many member as its count and its objects.
// A class name that does not match on reading marks the stream corrupt.

#include "OrmClass.h"

#include <QDataStream>

namespace orm {

void save(QDataStream& stream, const ClassInfo& cls, const void* object);
void load(QDataStream& stream, const ClassInfo& cls, void* object);

template <class T>
void save(QDataStream& stream, const T& object)
{
    save(stream, classInfo<T>(), &object);
}

template <class T>
void load(QDataStream& stream, T& object)
{
    load(stream, classInfo<T>(), &object);
}

} // namespace orm
