// CObject: the root of the class layer, with run-time class information.
#pragma once

class CObject;

// What a class says about itself at run time: its name, size, schema number, creation function
// (none in this layer) and base class.
struct CRuntimeClass {
  const char *m_lpszClassName;
  int m_nObjectSize;
  unsigned m_wSchema;
  CObject *(*m_pfnCreateObject)();
  const CRuntimeClass *m_pBaseClass;

  bool IsDerivedFrom(const CRuntimeClass *base) const;
};

class CObject {
 public:
  static const CRuntimeClass classCObject;

  virtual const CRuntimeClass *GetRuntimeClass() const;
  virtual ~CObject() = default;

  bool IsKindOf(const CRuntimeClass *wanted) const;

 protected:
  CObject() = default;
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

// In the class body: the class's run-time information (leaves the access public).
#define DECLARE_DYNAMIC(class_name)             \
 public:                                        \
  static const CRuntimeClass class##class_name; \
  const CRuntimeClass *GetRuntimeClass() const override;

// In one source file; schema 0xFFFF marks a class that is not serialised.
#define IMPLEMENT_DYNAMIC(class_name, base_name)                                                \
  const CRuntimeClass class_name::class##class_name = {#class_name, sizeof(class_name), 0xFFFF, \
                                                       nullptr, RUNTIME_CLASS(base_name)};      \
  const CRuntimeClass *class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }
