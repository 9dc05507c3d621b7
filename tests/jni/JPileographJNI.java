// Native methods of libJPileograph. The library is loaded from the absolute
// path in the system property "jpileograph.library".
public class JPileographJNI {
  static {
    System.load(System.getProperty("jpileograph.library"));
  }

  public static final native void set_padInfo_mPadLoc(long self, int value);
  public static final native int get_padInfo_mPadLoc(long self);
  public static final native void set_padInfo_mReadIdx(long self, int value);
  public static final native int get_padInfo_mReadIdx(long self);
  public static final native long new_padInfo();
  public static final native void delete_padInfo(long self);
  public static final native boolean cmpByPadLoc(long a, long b);
  public static final native boolean cmpByReadIdx(long a, long b);
  public static final native int Pileograph_GetNumReadsInWindow(long self, int start, int end);
  public static final native String Pileograph_GetWindowReadName(long self, int start, int end, int n);
  public static final native char Pileograph_GetSourceBase(long self, int i);
  public static final native String Pileograph_GetAlignedCharacters(long self, int start, int end, int col);
  public static final native int Pileograph_GetNumReads(long self);
  public static final native String Pileograph_GetReadName(long self, int i);
  public static final native int Pileograph_GetSourceSize(long self);
  public static final native void Pileograph_ReadSource__SWIG_0(long self, String path);
  public static final native void Pileograph_ReadCM__SWIG_0(long self, String path);
  public static final native void Pileograph_MergeAlignments(long self);
  public static final native void Pileograph_WriteMerged(long self);
  public static final native void set_Pileograph_mCM(long self, long value);
  public static final native long get_Pileograph_mCM(long self);
  public static final native void set_Pileograph_mSource(long self, long value);
  public static final native long get_Pileograph_mSource(long self);
  public static final native void set_Pileograph_mAlignedReads(long self, long value);
  public static final native long get_Pileograph_mAlignedReads(long self);
  public static final native void set_Pileograph_mMergedReads(long self, long value);
  public static final native long get_Pileograph_mMergedReads(long self);
  public static final native void set_Pileograph_mBaseLocs(long self, long value);
  public static final native long get_Pileograph_mBaseLocs(long self);
  public static final native void set_Pileograph_mOffsets(long self, long value);
  public static final native long get_Pileograph_mOffsets(long self);
  public static final native void set_Pileograph_mAdjustedOffsets(long self, long value);
  public static final native long get_Pileograph_mAdjustedOffsets(long self);
  public static final native void set_Pileograph_mUnionSource(long self, long value);
  public static final native long get_Pileograph_mUnionSource(long self);
  public static final native int Pileograph_RIdx2SIdx(long self, int ridx, int r);
  public static final native int Pileograph_SIdx2RIdx(long self, int sidx, int r);
  public static final native void Pileograph_ReadSource__SWIG_1(long self, long path);
  public static final native void Pileograph_ReadCM__SWIG_1(long self, long path);
  public static final native void Pileograph_ConstructSourceWithUnionOfReadPads(long self);
  public static final native void Pileograph_InitWithQueries(long self);
  public static final native void Pileograph_MergeReadPads(long self);
  public static final native void Pileograph_PrintAlignment__SWIG_0(long self, String path, int start, int end, int width);
  public static final native void Pileograph_PrintAlignment__SWIG_1(long self, long os, int start, int end, int width);
  public static final native int Pileograph_GetMaxPadIdx(long self, long idx, long pads);
  public static final native void Pileograph_GetSortedPadLocs(long self, long cm, long pads);
  public static final native long new_Pileograph();
  public static final native void delete_Pileograph(long self);
}
