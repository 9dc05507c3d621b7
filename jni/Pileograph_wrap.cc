// JNI entry points of libJPileograph: one exported function per native method
// of the Java class JPileographJNI (default package).
//
// A native object crosses to Java as its address in a jlong (0: no object).
// Getters of class-typed members hand out a new heap copy that nothing
// releases; setters copy the object they are given. A null handle raises
// java.lang.NullPointerException and the entry point returns 0/false/null
// without calling the engine. No C++ exception crosses into the JVM.
#include <jni.h>

#include <cstdint>
#include <exception>
#include <iostream>
#include <new>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "CMParse.h"
#include "Pileograph.h"
#include "Sequence.h"
#include "SequenceQuality.h"

enum SWIG_JavaExceptionCodes : int {
  JavaExcOutOfMemoryError = 1,
  JavaExcIOException,
  JavaExcRuntimeException,
  JavaExcIndexOutOfBoundsException,
  JavaExcArithmeticException,
  JavaExcIllegalArgumentException,
  JavaExcNullPointerException,
  JavaExcUnknownError
};

struct SWIG_JavaExceptions_t {
  int code;
  const char* java_exception;
};

static const SWIG_JavaExceptions_t java_exceptions[] = {
    {JavaExcOutOfMemoryError, "java/lang/OutOfMemoryError"},
    {JavaExcIOException, "java/io/IOException"},
    {JavaExcRuntimeException, "java/lang/RuntimeException"},
    {JavaExcIndexOutOfBoundsException, "java/lang/IndexOutOfBoundsException"},
    {JavaExcArithmeticException, "java/lang/ArithmeticException"},
    {JavaExcIllegalArgumentException, "java/lang/IllegalArgumentException"},
    {JavaExcNullPointerException, "java/lang/NullPointerException"},
    {JavaExcUnknownError, "java/lang/UnknownError"},
    {0, "java/lang/UnknownError"}};

// Leaves a pending Java exception of the class the table gives for `code`
// (the terminator's class for an unknown code), replacing any pending one.
static void SWIG_JavaThrowException(JNIEnv* jenv, SWIG_JavaExceptionCodes code, const char* msg) {
  const SWIG_JavaExceptions_t* row = java_exceptions;
  while (row->code != code && row->code != 0) ++row;
  jenv->ExceptionClear();
  jclass cls = jenv->FindClass(row->java_exception);
  if (cls) jenv->ThrowNew(cls, msg);
}

namespace {

const char kNullPileograph[] = "Attempt to dereference null Pileograph";
const char kNullPadInfo[] = "Attempt to dereference null padInfo";
const char kNullCMParse[] = "Attempt to dereference null CMParse";
const char kNullSequence[] = "Attempt to dereference null Sequence";
const char kNullSequenceVector[] = "Attempt to dereference null SequenceVector";
const char kNullQualityVector[] = "Attempt to dereference null SequenceQualityVector";
const char kNullIntVector[] = "Attempt to dereference null vector<int >";
const char kNullString[] = "Attempt to dereference null string";
const char kNullOstreamRef[] = "ostream & reference is null";
const char kNullIntRef[] = "int & reference is null";
const char kNullPadsRef[] = "vector<padInfo > & reference is null";
const char kNullCMParseRef[] = "CMParse & reference is null";
const char kNullJavaString[] = "null string";

template <class T>
T* Ptr(jlong handle) {
  return reinterpret_cast<T*>(static_cast<std::intptr_t>(handle));
}

template <class T>
jlong Handle(T* p) {
  return static_cast<jlong>(reinterpret_cast<std::intptr_t>(p));
}

void ThrowNull(JNIEnv* jenv, const char* msg) {
  SWIG_JavaThrowException(jenv, JavaExcNullPointerException, msg);
}

// The object behind a handle, or null after raising the exception for `msg`.
template <class T>
T* Checked(JNIEnv* jenv, jlong handle, const char* msg) {
  T* p = Ptr<T>(handle);
  if (!p) ThrowNull(jenv, msg);
  return p;
}

Pileograph* Self(JNIEnv* jenv, jlong handle) {
  return Checked<Pileograph>(jenv, handle, kNullPileograph);
}

void ThrowNative(JNIEnv* jenv, std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::bad_alloc& e) {
    SWIG_JavaThrowException(jenv, JavaExcOutOfMemoryError, e.what());
  } catch (const std::exception& e) {
    SWIG_JavaThrowException(jenv, JavaExcRuntimeException, e.what());
  } catch (...) {
    SWIG_JavaThrowException(jenv, JavaExcRuntimeException, "unknown native exception");
  }
}

// Runs `body`; a C++ exception becomes a pending Java exception and the
// result `failed`. Everything `body` built is destroyed before the throw.
template <class R, class F>
R Guard(JNIEnv* jenv, R failed, F&& body) {
  try {
    return body();
  } catch (...) {
    ThrowNative(jenv, std::current_exception());
  }
  return failed;
}

template <class F>
void GuardVoid(JNIEnv* jenv, F&& body) {
  try {
    body();
  } catch (...) {
    ThrowNative(jenv, std::current_exception());
  }
}

// Borrowed modified UTF-8 bytes of a Java string, given back on destruction.
class UtfChars {
 public:
  UtfChars(JNIEnv* jenv, jstring str)
      : mEnv(jenv), mStr(str), mChars(jenv->GetStringUTFChars(str, nullptr)) {}
  ~UtfChars() {
    if (mChars) mEnv->ReleaseStringUTFChars(mStr, mChars);
  }
  UtfChars(const UtfChars&) = delete;
  UtfChars& operator=(const UtfChars&) = delete;

  JNIEnv* mEnv;
  jstring mStr;
  const char* mChars;  // null when the JVM could not provide the bytes
};

// Runs `call` with the path's bytes. A null path raises the exception and a
// path whose bytes cannot be borrowed leaves the JVM's exception standing;
// `call` runs in neither case.
template <class F>
void WithPath(JNIEnv* jenv, jstring jpath, F&& call) {
  if (!jpath) {
    ThrowNull(jenv, kNullJavaString);
    return;
  }
  UtfChars path(jenv, jpath);
  if (path.mChars) call(path.mChars);
}

// Runs a loader of the engine and says on standard output when the file
// could not be read.
template <class F>
void LoadInput(const std::string& path, F&& read) {
  int error = 0;
  ReportInput(path, read(error));
}

jstring StringOut(JNIEnv* jenv, const char* text) {
  return text ? jenv->NewStringUTF(text) : nullptr;
}

// Widened with its sign: byte 0xE9 becomes 0xFFE9.
jchar CharOut(char c) {
  return static_cast<jchar>(static_cast<jshort>(static_cast<signed char>(c)));
}

jboolean BoolOut(bool b) { return b ? JNI_TRUE : JNI_FALSE; }

// Copies the value object into the member; a null self does nothing.
template <class T>
void SetMember(JNIEnv* jenv, jlong jself, jlong jvalue, T Pileograph::*member, const char* nullMsg) {
  GuardVoid(jenv, [&] {
    const T* value = Checked<T>(jenv, jvalue, nullMsg);
    if (!value) return;
    T copy(*value);
    if (Pileograph* self = Ptr<Pileograph>(jself)) self->*member = std::move(copy);
  });
}

// A new heap snapshot of the member.
template <class T>
jlong GetMember(JNIEnv* jenv, jlong jself, T Pileograph::*member) {
  return Guard(jenv, jlong(0), [&]() -> jlong {
    Pileograph* self = Self(jenv, jself);
    if (!self) return 0;
    return Handle(new T(self->*member));
  });
}

bool ComparePads(JNIEnv* jenv, jlong ja, jlong jb, bool (*cmp)(padInfo, padInfo), bool* result) {
  const padInfo* a = Checked<padInfo>(jenv, ja, kNullPadInfo);
  if (!a) return false;
  const padInfo* b = Checked<padInfo>(jenv, jb, kNullPadInfo);
  if (!b) return false;
  *result = cmp(*a, *b);
  return true;
}

}  // namespace

extern "C" {

// padInfo fields, records and comparators.

JNIEXPORT void JNICALL Java_JPileographJNI_set_1padInfo_1mPadLoc(JNIEnv*, jclass, jlong jself,
                                                                 jint value) {
  if (padInfo* self = Ptr<padInfo>(jself)) self->mPadLoc = value;
}

JNIEXPORT jint JNICALL Java_JPileographJNI_get_1padInfo_1mPadLoc(JNIEnv* jenv, jclass, jlong jself) {
  const padInfo* self = Checked<padInfo>(jenv, jself, kNullPadInfo);
  return self ? self->mPadLoc : 0;
}

JNIEXPORT void JNICALL Java_JPileographJNI_set_1padInfo_1mReadIdx(JNIEnv*, jclass, jlong jself,
                                                                  jint value) {
  if (padInfo* self = Ptr<padInfo>(jself)) self->mReadIdx = value;
}

JNIEXPORT jint JNICALL Java_JPileographJNI_get_1padInfo_1mReadIdx(JNIEnv* jenv, jclass, jlong jself) {
  const padInfo* self = Checked<padInfo>(jenv, jself, kNullPadInfo);
  return self ? self->mReadIdx : 0;
}

JNIEXPORT jlong JNICALL Java_JPileographJNI_new_1padInfo(JNIEnv* jenv, jclass) {
  return Guard(jenv, jlong(0), [] { return Handle(new padInfo()); });
}

JNIEXPORT void JNICALL Java_JPileographJNI_delete_1padInfo(JNIEnv*, jclass, jlong jself) {
  delete Ptr<padInfo>(jself);
}

JNIEXPORT jboolean JNICALL Java_JPileographJNI_cmpByPadLoc(JNIEnv* jenv, jclass, jlong ja, jlong jb) {
  bool result = false;
  return ComparePads(jenv, ja, jb, cmpByPadLoc, &result) ? BoolOut(result) : JNI_FALSE;
}

JNIEXPORT jboolean JNICALL Java_JPileographJNI_cmpByReadIdx(JNIEnv* jenv, jclass, jlong ja, jlong jb) {
  bool result = false;
  return ComparePads(jenv, ja, jb, cmpByReadIdx, &result) ? BoolOut(result) : JNI_FALSE;
}

// Window and column queries.

JNIEXPORT jint JNICALL Java_JPileographJNI_Pileograph_1GetNumReadsInWindow(JNIEnv* jenv, jclass,
                                                                          jlong jself, jint start,
                                                                          jint end) {
  return Guard(jenv, jint(0), [&]() -> jint {
    Pileograph* self = Self(jenv, jself);
    return self ? self->GetNumReadsInWindow(start, end) : 0;
  });
}

JNIEXPORT jstring JNICALL Java_JPileographJNI_Pileograph_1GetWindowReadName(JNIEnv* jenv, jclass,
                                                                           jlong jself, jint start,
                                                                           jint end, jint n) {
  return Guard(jenv, jstring(nullptr), [&]() -> jstring {
    Pileograph* self = Self(jenv, jself);
    return self ? StringOut(jenv, self->GetWindowReadName(start, end, n)) : nullptr;
  });
}

JNIEXPORT jchar JNICALL Java_JPileographJNI_Pileograph_1GetSourceBase(JNIEnv* jenv, jclass,
                                                                     jlong jself, jint i) {
  return Guard(jenv, jchar(0), [&]() -> jchar {
    Pileograph* self = Self(jenv, jself);
    return self ? CharOut(self->GetSourceBase(i)) : 0;
  });
}

JNIEXPORT jstring JNICALL Java_JPileographJNI_Pileograph_1GetAlignedCharacters(JNIEnv* jenv, jclass,
                                                                              jlong jself,
                                                                              jint start, jint end,
                                                                              jint col) {
  return Guard(jenv, jstring(nullptr), [&]() -> jstring {
    Pileograph* self = Self(jenv, jself);
    if (!self) return nullptr;
    const std::string chars = self->GetAlignedCharacters(start, end, col);
    return StringOut(jenv, chars.c_str());
  });
}

JNIEXPORT jint JNICALL Java_JPileographJNI_Pileograph_1GetNumReads(JNIEnv* jenv, jclass,
                                                                  jlong jself) {
  return Guard(jenv, jint(0), [&]() -> jint {
    Pileograph* self = Self(jenv, jself);
    return self ? self->GetNumReads() : 0;
  });
}

JNIEXPORT jstring JNICALL Java_JPileographJNI_Pileograph_1GetReadName(JNIEnv* jenv, jclass,
                                                                     jlong jself, jint i) {
  return Guard(jenv, jstring(nullptr), [&]() -> jstring {
    Pileograph* self = Self(jenv, jself);
    return self ? StringOut(jenv, self->GetReadName(i)) : nullptr;
  });
}

JNIEXPORT jint JNICALL Java_JPileographJNI_Pileograph_1GetSourceSize(JNIEnv* jenv, jclass,
                                                                    jlong jself) {
  return Guard(jenv, jint(0), [&]() -> jint {
    Pileograph* self = Self(jenv, jself);
    return self ? self->GetSourceSize() : 0;
  });
}

// Loading, merging and side files.

JNIEXPORT void JNICALL Java_JPileographJNI_Pileograph_1ReadSource_1_1SWIG_10(JNIEnv* jenv, jclass,
                                                                            jlong jself,
                                                                            jstring jpath) {
  GuardVoid(jenv, [&] {
    Pileograph* self = Self(jenv, jself);
    if (!self) return;
    WithPath(jenv, jpath, [&](const char* path) {
      LoadInput(path, [&](int& e) { return self->ReadSource(path, e); });
    });
  });
}

JNIEXPORT void JNICALL Java_JPileographJNI_Pileograph_1ReadCM_1_1SWIG_10(JNIEnv* jenv, jclass,
                                                                        jlong jself,
                                                                        jstring jpath) {
  GuardVoid(jenv, [&] {
    Pileograph* self = Self(jenv, jself);
    if (!self) return;
    WithPath(jenv, jpath, [&](const char* path) {
      LoadInput(path, [&](int& e) { return self->ReadCM(path, e); });
    });
  });
}

JNIEXPORT void JNICALL Java_JPileographJNI_Pileograph_1MergeAlignments(JNIEnv* jenv, jclass,
                                                                      jlong jself) {
  GuardVoid(jenv, [&] {
    if (Pileograph* self = Self(jenv, jself)) self->MergeAlignments();
  });
}

JNIEXPORT void JNICALL Java_JPileographJNI_Pileograph_1WriteMerged(JNIEnv* jenv, jclass,
                                                                  jlong jself) {
  GuardVoid(jenv, [&] {
    if (Pileograph* self = Self(jenv, jself)) self->WriteMerged();
  });
}

// Members of Pileograph, copied in and out whole.

JNIEXPORT void JNICALL Java_JPileographJNI_set_1Pileograph_1mCM(JNIEnv* jenv, jclass, jlong jself,
                                                               jlong jvalue) {
  SetMember(jenv, jself, jvalue, &Pileograph::mCM, kNullCMParse);
}

JNIEXPORT jlong JNICALL Java_JPileographJNI_get_1Pileograph_1mCM(JNIEnv* jenv, jclass,
                                                                jlong jself) {
  return GetMember(jenv, jself, &Pileograph::mCM);
}

JNIEXPORT void JNICALL Java_JPileographJNI_set_1Pileograph_1mSource(JNIEnv* jenv, jclass,
                                                                   jlong jself, jlong jvalue) {
  SetMember(jenv, jself, jvalue, &Pileograph::mSource, kNullSequence);
}

JNIEXPORT jlong JNICALL Java_JPileographJNI_get_1Pileograph_1mSource(JNIEnv* jenv, jclass,
                                                                    jlong jself) {
  return GetMember(jenv, jself, &Pileograph::mSource);
}

JNIEXPORT void JNICALL Java_JPileographJNI_set_1Pileograph_1mAlignedReads(JNIEnv* jenv, jclass,
                                                                         jlong jself,
                                                                         jlong jvalue) {
  SetMember(jenv, jself, jvalue, &Pileograph::mAlignedReads, kNullSequenceVector);
}

JNIEXPORT jlong JNICALL Java_JPileographJNI_get_1Pileograph_1mAlignedReads(JNIEnv* jenv, jclass,
                                                                          jlong jself) {
  return GetMember(jenv, jself, &Pileograph::mAlignedReads);
}

JNIEXPORT void JNICALL Java_JPileographJNI_set_1Pileograph_1mMergedReads(JNIEnv* jenv, jclass,
                                                                        jlong jself,
                                                                        jlong jvalue) {
  SetMember(jenv, jself, jvalue, &Pileograph::mMergedReads, kNullSequenceVector);
}

JNIEXPORT jlong JNICALL Java_JPileographJNI_get_1Pileograph_1mMergedReads(JNIEnv* jenv, jclass,
                                                                         jlong jself) {
  return GetMember(jenv, jself, &Pileograph::mMergedReads);
}

JNIEXPORT void JNICALL Java_JPileographJNI_set_1Pileograph_1mBaseLocs(JNIEnv* jenv, jclass,
                                                                     jlong jself, jlong jvalue) {
  SetMember(jenv, jself, jvalue, &Pileograph::mBaseLocs, kNullQualityVector);
}

JNIEXPORT jlong JNICALL Java_JPileographJNI_get_1Pileograph_1mBaseLocs(JNIEnv* jenv, jclass,
                                                                      jlong jself) {
  return GetMember(jenv, jself, &Pileograph::mBaseLocs);
}

JNIEXPORT void JNICALL Java_JPileographJNI_set_1Pileograph_1mOffsets(JNIEnv* jenv, jclass,
                                                                    jlong jself, jlong jvalue) {
  SetMember(jenv, jself, jvalue, &Pileograph::mOffsets, kNullIntVector);
}

JNIEXPORT jlong JNICALL Java_JPileographJNI_get_1Pileograph_1mOffsets(JNIEnv* jenv, jclass,
                                                                     jlong jself) {
  return GetMember(jenv, jself, &Pileograph::mOffsets);
}

JNIEXPORT void JNICALL Java_JPileographJNI_set_1Pileograph_1mAdjustedOffsets(JNIEnv* jenv, jclass,
                                                                            jlong jself,
                                                                            jlong jvalue) {
  SetMember(jenv, jself, jvalue, &Pileograph::mAdjustedOffsets, kNullIntVector);
}

JNIEXPORT jlong JNICALL Java_JPileographJNI_get_1Pileograph_1mAdjustedOffsets(JNIEnv* jenv, jclass,
                                                                             jlong jself) {
  return GetMember(jenv, jself, &Pileograph::mAdjustedOffsets);
}

JNIEXPORT void JNICALL Java_JPileographJNI_set_1Pileograph_1mUnionSource(JNIEnv* jenv, jclass,
                                                                        jlong jself,
                                                                        jlong jvalue) {
  SetMember(jenv, jself, jvalue, &Pileograph::mUnionSource, kNullSequence);
}

JNIEXPORT jlong JNICALL Java_JPileographJNI_get_1Pileograph_1mUnionSource(JNIEnv* jenv, jclass,
                                                                         jlong jself) {
  return GetMember(jenv, jself, &Pileograph::mUnionSource);
}

// Coordinate conversions.

JNIEXPORT jint JNICALL Java_JPileographJNI_Pileograph_1RIdx2SIdx(JNIEnv* jenv, jclass, jlong jself,
                                                                jint ridx, jint r) {
  return Guard(jenv, jint(0), [&]() -> jint {
    Pileograph* self = Self(jenv, jself);
    return self ? self->RIdx2SIdx(ridx, r) : 0;
  });
}

JNIEXPORT jint JNICALL Java_JPileographJNI_Pileograph_1SIdx2RIdx(JNIEnv* jenv, jclass, jlong jself,
                                                                jint sidx, jint r) {
  return Guard(jenv, jint(0), [&]() -> jint {
    Pileograph* self = Self(jenv, jself);
    return self ? self->SIdx2RIdx(sidx, r) : 0;
  });
}

// String-object forms of the loaders.

JNIEXPORT void JNICALL Java_JPileographJNI_Pileograph_1ReadSource_1_1SWIG_11(JNIEnv* jenv, jclass,
                                                                            jlong jself,
                                                                            jlong jpath) {
  GuardVoid(jenv, [&] {
    std::string path;
    const std::string* value = Checked<std::string>(jenv, jpath, kNullString);
    if (!value) return;
    path = *value;
    if (Pileograph* self = Self(jenv, jself)) {
      LoadInput(path, [&](int& e) { return self->ReadSource(path, e); });
    }
  });
}

JNIEXPORT void JNICALL Java_JPileographJNI_Pileograph_1ReadCM_1_1SWIG_11(JNIEnv* jenv, jclass,
                                                                        jlong jself, jlong jpath) {
  GuardVoid(jenv, [&] {
    std::string path;
    const std::string* value = Checked<std::string>(jenv, jpath, kNullString);
    if (!value) return;
    path = *value;
    if (Pileograph* self = Self(jenv, jself)) {
      LoadInput(path, [&](int& e) { return self->ReadCM(path, e); });
    }
  });
}

// The merge's inner steps, one by one.

JNIEXPORT void JNICALL Java_JPileographJNI_Pileograph_1ConstructSourceWithUnionOfReadPads(
    JNIEnv* jenv, jclass, jlong jself) {
  GuardVoid(jenv, [&] {
    if (Pileograph* self = Self(jenv, jself)) self->ConstructSourceWithUnionOfReadPads();
  });
}

JNIEXPORT void JNICALL Java_JPileographJNI_Pileograph_1InitWithQueries(JNIEnv* jenv, jclass,
                                                                      jlong jself) {
  GuardVoid(jenv, [&] {
    if (Pileograph* self = Self(jenv, jself)) self->InitWithQueries();
  });
}

JNIEXPORT void JNICALL Java_JPileographJNI_Pileograph_1MergeReadPads(JNIEnv* jenv, jclass,
                                                                    jlong jself) {
  GuardVoid(jenv, [&] {
    if (Pileograph* self = Self(jenv, jself)) self->MergeReadPads();
  });
}

// Text pileup.

JNIEXPORT void JNICALL Java_JPileographJNI_Pileograph_1PrintAlignment_1_1SWIG_10(
    JNIEnv* jenv, jclass, jlong jself, jstring jpath, jint start, jint end, jint width) {
  GuardVoid(jenv, [&] {
    Pileograph* self = Self(jenv, jself);
    if (!self) return;
    WithPath(jenv, jpath,
             [&](const char* path) { self->PrintAlignment(path, start, end, width); });
  });
}

JNIEXPORT void JNICALL Java_JPileographJNI_Pileograph_1PrintAlignment_1_1SWIG_11(
    JNIEnv* jenv, jclass, jlong jself, jlong jos, jint start, jint end, jint width) {
  GuardVoid(jenv, [&] {
    std::ostream* os = Checked<std::ostream>(jenv, jos, kNullOstreamRef);
    if (!os) return;
    if (Pileograph* self = Self(jenv, jself)) self->PrintAlignment(*os, start, end, width);
  });
}

// Pad lists.

JNIEXPORT jint JNICALL Java_JPileographJNI_Pileograph_1GetMaxPadIdx(JNIEnv* jenv, jclass,
                                                                   jlong jself, jlong jidx,
                                                                   jlong jpads) {
  return Guard(jenv, jint(0), [&]() -> jint {
    int* idx = Checked<int>(jenv, jidx, kNullIntRef);
    if (!idx) return 0;
    auto* pads = Checked<std::vector<padInfo>>(jenv, jpads, kNullPadsRef);
    if (!pads) return 0;
    Pileograph* self = Self(jenv, jself);
    return self ? self->GetMaxPadIdx(*idx, *pads) : 0;
  });
}

JNIEXPORT void JNICALL Java_JPileographJNI_Pileograph_1GetSortedPadLocs(JNIEnv* jenv, jclass,
                                                                       jlong jself, jlong jcm,
                                                                       jlong jpads) {
  GuardVoid(jenv, [&] {
    CMParse* cm = Checked<CMParse>(jenv, jcm, kNullCMParseRef);
    if (!cm) return;
    auto* pads = Checked<std::vector<padInfo>>(jenv, jpads, kNullPadsRef);
    if (!pads) return;
    if (Pileograph* self = Self(jenv, jself)) self->GetSortedPadLocs(*cm, *pads);
  });
}

// Engines.

JNIEXPORT jlong JNICALL Java_JPileographJNI_new_1Pileograph(JNIEnv* jenv, jclass) {
  return Guard(jenv, jlong(0), [] { return Handle(new Pileograph()); });
}

JNIEXPORT void JNICALL Java_JPileographJNI_delete_1Pileograph(JNIEnv*, jclass, jlong jself) {
  delete Ptr<Pileograph>(jself);
}

}  // extern "C"
