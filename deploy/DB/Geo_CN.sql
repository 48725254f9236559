-- Geographic reference data shipped as DB/Geo_CN.db (the build turns this text into the
-- database with the sqlite3 program). Names are UTF-8.
--
-- T_GEO_CN: the province-level units of China, their prefecture-level divisions, and the
-- county-level units that sit directly below a province-level unit (the districts and counties
-- of the four municipalities, and the county-level cities a province administers directly).
--   ID         the six-digit administrative division code. The management server sends these
--              numbers as locProid and locCityid; they are stable and never reused.
--   NAME       the name the program shows and matches: the short form for provinces and
--              prefectures ("河北", "石家庄", "延边"), the full form for districts and counties
--              of the municipalities ("朝阳区"). The municipalities are "北京", "天津", "上海"
--              and "重庆" exactly, since the program compares those names. Qinghai's Hainan
--              prefecture is "海南州" so that it is not taken for the province "海南".
--   FULL_NAME  the official full name ("河北省", "石家庄市", "延边朝鲜族自治州").
--   PARENT_ID  ID of the province-level unit above; 0 for a province-level unit.
--   LEVEL      1 province-level unit, 2 prefecture-level division, 3 county-level unit.
--   KIND       the kind of division: "省", "自治区", "直辖市", "特别行政区", "地级市", "地区",
--              "自治州", "盟", "市辖区", "县", "自治县", "县级市", "林区".
-- The program reads the columns in this order: integer, text, text, integer, integer, text.
--
-- NS_DIC_OPER: the network operators.
--   ID         row number of the dictionary.
--   OPER_NAME  the operator's name as the program shows and matches it ("电信", "联通", …).
--   REMARK     the operator id the management server sends as locOperid; the program looks
--              operators up by this column.

BEGIN TRANSACTION;

CREATE TABLE T_GEO_CN (
  ID INTEGER PRIMARY KEY,
  NAME TEXT NOT NULL,
  FULL_NAME TEXT NOT NULL,
  PARENT_ID INTEGER NOT NULL,
  LEVEL INTEGER NOT NULL,
  KIND TEXT NOT NULL
);

-- Province-level units.
INSERT INTO T_GEO_CN VALUES(110000, '北京', '北京市', 0, 1, '直辖市');
INSERT INTO T_GEO_CN VALUES(120000, '天津', '天津市', 0, 1, '直辖市');
INSERT INTO T_GEO_CN VALUES(130000, '河北', '河北省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(140000, '山西', '山西省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(150000, '内蒙古', '内蒙古自治区', 0, 1, '自治区');
INSERT INTO T_GEO_CN VALUES(210000, '辽宁', '辽宁省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(220000, '吉林', '吉林省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(230000, '黑龙江', '黑龙江省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(310000, '上海', '上海市', 0, 1, '直辖市');
INSERT INTO T_GEO_CN VALUES(320000, '江苏', '江苏省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(330000, '浙江', '浙江省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(340000, '安徽', '安徽省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(350000, '福建', '福建省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(360000, '江西', '江西省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(370000, '山东', '山东省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(410000, '河南', '河南省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(420000, '湖北', '湖北省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(430000, '湖南', '湖南省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(440000, '广东', '广东省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(450000, '广西', '广西壮族自治区', 0, 1, '自治区');
INSERT INTO T_GEO_CN VALUES(460000, '海南', '海南省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(500000, '重庆', '重庆市', 0, 1, '直辖市');
INSERT INTO T_GEO_CN VALUES(510000, '四川', '四川省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(520000, '贵州', '贵州省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(530000, '云南', '云南省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(540000, '西藏', '西藏自治区', 0, 1, '自治区');
INSERT INTO T_GEO_CN VALUES(610000, '陕西', '陕西省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(620000, '甘肃', '甘肃省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(630000, '青海', '青海省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(640000, '宁夏', '宁夏回族自治区', 0, 1, '自治区');
INSERT INTO T_GEO_CN VALUES(650000, '新疆', '新疆维吾尔自治区', 0, 1, '自治区');
INSERT INTO T_GEO_CN VALUES(710000, '台湾', '台湾省', 0, 1, '省');
INSERT INTO T_GEO_CN VALUES(810000, '香港', '香港特别行政区', 0, 1, '特别行政区');
INSERT INTO T_GEO_CN VALUES(820000, '澳门', '澳门特别行政区', 0, 1, '特别行政区');

-- 河北省: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(130100, '石家庄', '石家庄市', 130000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(130200, '唐山', '唐山市', 130000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(130300, '秦皇岛', '秦皇岛市', 130000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(130400, '邯郸', '邯郸市', 130000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(130500, '邢台', '邢台市', 130000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(130600, '保定', '保定市', 130000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(130700, '张家口', '张家口市', 130000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(130800, '承德', '承德市', 130000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(130900, '沧州', '沧州市', 130000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(131000, '廊坊', '廊坊市', 130000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(131100, '衡水', '衡水市', 130000, 2, '地级市');

-- 山西省: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(140100, '太原', '太原市', 140000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(140200, '大同', '大同市', 140000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(140300, '阳泉', '阳泉市', 140000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(140400, '长治', '长治市', 140000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(140500, '晋城', '晋城市', 140000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(140600, '朔州', '朔州市', 140000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(140700, '晋中', '晋中市', 140000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(140800, '运城', '运城市', 140000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(140900, '忻州', '忻州市', 140000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(141000, '临汾', '临汾市', 140000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(141100, '吕梁', '吕梁市', 140000, 2, '地级市');

-- 内蒙古自治区: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(150100, '呼和浩特', '呼和浩特市', 150000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(150200, '包头', '包头市', 150000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(150300, '乌海', '乌海市', 150000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(150400, '赤峰', '赤峰市', 150000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(150500, '通辽', '通辽市', 150000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(150600, '鄂尔多斯', '鄂尔多斯市', 150000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(150700, '呼伦贝尔', '呼伦贝尔市', 150000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(150800, '巴彦淖尔', '巴彦淖尔市', 150000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(150900, '乌兰察布', '乌兰察布市', 150000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(152200, '兴安', '兴安盟', 150000, 2, '盟');
INSERT INTO T_GEO_CN VALUES(152500, '锡林郭勒', '锡林郭勒盟', 150000, 2, '盟');
INSERT INTO T_GEO_CN VALUES(152900, '阿拉善', '阿拉善盟', 150000, 2, '盟');

-- 辽宁省: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(210100, '沈阳', '沈阳市', 210000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(210200, '大连', '大连市', 210000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(210300, '鞍山', '鞍山市', 210000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(210400, '抚顺', '抚顺市', 210000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(210500, '本溪', '本溪市', 210000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(210600, '丹东', '丹东市', 210000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(210700, '锦州', '锦州市', 210000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(210800, '营口', '营口市', 210000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(210900, '阜新', '阜新市', 210000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(211000, '辽阳', '辽阳市', 210000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(211100, '盘锦', '盘锦市', 210000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(211200, '铁岭', '铁岭市', 210000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(211300, '朝阳', '朝阳市', 210000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(211400, '葫芦岛', '葫芦岛市', 210000, 2, '地级市');

-- 吉林省: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(220100, '长春', '长春市', 220000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(220200, '吉林', '吉林市', 220000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(220300, '四平', '四平市', 220000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(220400, '辽源', '辽源市', 220000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(220500, '通化', '通化市', 220000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(220600, '白山', '白山市', 220000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(220700, '松原', '松原市', 220000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(220800, '白城', '白城市', 220000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(222400, '延边', '延边朝鲜族自治州', 220000, 2, '自治州');

-- 黑龙江省: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(230100, '哈尔滨', '哈尔滨市', 230000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(230200, '齐齐哈尔', '齐齐哈尔市', 230000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(230300, '鸡西', '鸡西市', 230000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(230400, '鹤岗', '鹤岗市', 230000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(230500, '双鸭山', '双鸭山市', 230000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(230600, '大庆', '大庆市', 230000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(230700, '伊春', '伊春市', 230000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(230800, '佳木斯', '佳木斯市', 230000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(230900, '七台河', '七台河市', 230000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(231000, '牡丹江', '牡丹江市', 230000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(231100, '黑河', '黑河市', 230000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(231200, '绥化', '绥化市', 230000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(232700, '大兴安岭', '大兴安岭地区', 230000, 2, '地区');

-- 江苏省: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(320100, '南京', '南京市', 320000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(320200, '无锡', '无锡市', 320000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(320300, '徐州', '徐州市', 320000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(320400, '常州', '常州市', 320000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(320500, '苏州', '苏州市', 320000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(320600, '南通', '南通市', 320000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(320700, '连云港', '连云港市', 320000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(320800, '淮安', '淮安市', 320000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(320900, '盐城', '盐城市', 320000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(321000, '扬州', '扬州市', 320000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(321100, '镇江', '镇江市', 320000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(321200, '泰州', '泰州市', 320000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(321300, '宿迁', '宿迁市', 320000, 2, '地级市');

-- 浙江省: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(330100, '杭州', '杭州市', 330000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(330200, '宁波', '宁波市', 330000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(330300, '温州', '温州市', 330000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(330400, '嘉兴', '嘉兴市', 330000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(330500, '湖州', '湖州市', 330000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(330600, '绍兴', '绍兴市', 330000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(330700, '金华', '金华市', 330000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(330800, '衢州', '衢州市', 330000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(330900, '舟山', '舟山市', 330000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(331000, '台州', '台州市', 330000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(331100, '丽水', '丽水市', 330000, 2, '地级市');

-- 安徽省: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(340100, '合肥', '合肥市', 340000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(340200, '芜湖', '芜湖市', 340000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(340300, '蚌埠', '蚌埠市', 340000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(340400, '淮南', '淮南市', 340000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(340500, '马鞍山', '马鞍山市', 340000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(340600, '淮北', '淮北市', 340000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(340700, '铜陵', '铜陵市', 340000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(340800, '安庆', '安庆市', 340000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(341000, '黄山', '黄山市', 340000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(341100, '滁州', '滁州市', 340000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(341200, '阜阳', '阜阳市', 340000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(341300, '宿州', '宿州市', 340000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(341500, '六安', '六安市', 340000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(341600, '亳州', '亳州市', 340000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(341700, '池州', '池州市', 340000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(341800, '宣城', '宣城市', 340000, 2, '地级市');

-- 福建省: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(350100, '福州', '福州市', 350000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(350200, '厦门', '厦门市', 350000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(350300, '莆田', '莆田市', 350000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(350400, '三明', '三明市', 350000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(350500, '泉州', '泉州市', 350000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(350600, '漳州', '漳州市', 350000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(350700, '南平', '南平市', 350000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(350800, '龙岩', '龙岩市', 350000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(350900, '宁德', '宁德市', 350000, 2, '地级市');

-- 江西省: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(360100, '南昌', '南昌市', 360000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(360200, '景德镇', '景德镇市', 360000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(360300, '萍乡', '萍乡市', 360000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(360400, '九江', '九江市', 360000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(360500, '新余', '新余市', 360000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(360600, '鹰潭', '鹰潭市', 360000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(360700, '赣州', '赣州市', 360000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(360800, '吉安', '吉安市', 360000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(360900, '宜春', '宜春市', 360000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(361000, '抚州', '抚州市', 360000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(361100, '上饶', '上饶市', 360000, 2, '地级市');

-- 山东省: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(370100, '济南', '济南市', 370000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(370200, '青岛', '青岛市', 370000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(370300, '淄博', '淄博市', 370000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(370400, '枣庄', '枣庄市', 370000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(370500, '东营', '东营市', 370000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(370600, '烟台', '烟台市', 370000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(370700, '潍坊', '潍坊市', 370000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(370800, '济宁', '济宁市', 370000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(370900, '泰安', '泰安市', 370000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(371000, '威海', '威海市', 370000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(371100, '日照', '日照市', 370000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(371300, '临沂', '临沂市', 370000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(371400, '德州', '德州市', 370000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(371500, '聊城', '聊城市', 370000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(371600, '滨州', '滨州市', 370000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(371700, '菏泽', '菏泽市', 370000, 2, '地级市');

-- 河南省: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(410100, '郑州', '郑州市', 410000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(410200, '开封', '开封市', 410000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(410300, '洛阳', '洛阳市', 410000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(410400, '平顶山', '平顶山市', 410000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(410500, '安阳', '安阳市', 410000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(410600, '鹤壁', '鹤壁市', 410000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(410700, '新乡', '新乡市', 410000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(410800, '焦作', '焦作市', 410000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(410900, '濮阳', '濮阳市', 410000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(411000, '许昌', '许昌市', 410000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(411100, '漯河', '漯河市', 410000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(411200, '三门峡', '三门峡市', 410000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(411300, '南阳', '南阳市', 410000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(411400, '商丘', '商丘市', 410000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(411500, '信阳', '信阳市', 410000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(411600, '周口', '周口市', 410000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(411700, '驻马店', '驻马店市', 410000, 2, '地级市');

-- 湖北省: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(420100, '武汉', '武汉市', 420000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(420200, '黄石', '黄石市', 420000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(420300, '十堰', '十堰市', 420000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(420500, '宜昌', '宜昌市', 420000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(420600, '襄阳', '襄阳市', 420000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(420700, '鄂州', '鄂州市', 420000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(420800, '荆门', '荆门市', 420000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(420900, '孝感', '孝感市', 420000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(421000, '荆州', '荆州市', 420000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(421100, '黄冈', '黄冈市', 420000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(421200, '咸宁', '咸宁市', 420000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(421300, '随州', '随州市', 420000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(422800, '恩施', '恩施土家族苗族自治州', 420000, 2, '自治州');

-- 湖南省: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(430100, '长沙', '长沙市', 430000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(430200, '株洲', '株洲市', 430000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(430300, '湘潭', '湘潭市', 430000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(430400, '衡阳', '衡阳市', 430000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(430500, '邵阳', '邵阳市', 430000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(430600, '岳阳', '岳阳市', 430000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(430700, '常德', '常德市', 430000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(430800, '张家界', '张家界市', 430000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(430900, '益阳', '益阳市', 430000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(431000, '郴州', '郴州市', 430000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(431100, '永州', '永州市', 430000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(431200, '怀化', '怀化市', 430000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(431300, '娄底', '娄底市', 430000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(433100, '湘西', '湘西土家族苗族自治州', 430000, 2, '自治州');

-- 广东省: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(440100, '广州', '广州市', 440000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(440200, '韶关', '韶关市', 440000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(440300, '深圳', '深圳市', 440000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(440400, '珠海', '珠海市', 440000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(440500, '汕头', '汕头市', 440000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(440600, '佛山', '佛山市', 440000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(440700, '江门', '江门市', 440000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(440800, '湛江', '湛江市', 440000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(440900, '茂名', '茂名市', 440000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(441200, '肇庆', '肇庆市', 440000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(441300, '惠州', '惠州市', 440000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(441400, '梅州', '梅州市', 440000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(441500, '汕尾', '汕尾市', 440000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(441600, '河源', '河源市', 440000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(441700, '阳江', '阳江市', 440000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(441800, '清远', '清远市', 440000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(441900, '东莞', '东莞市', 440000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(442000, '中山', '中山市', 440000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(445100, '潮州', '潮州市', 440000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(445200, '揭阳', '揭阳市', 440000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(445300, '云浮', '云浮市', 440000, 2, '地级市');

-- 广西壮族自治区: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(450100, '南宁', '南宁市', 450000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(450200, '柳州', '柳州市', 450000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(450300, '桂林', '桂林市', 450000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(450400, '梧州', '梧州市', 450000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(450500, '北海', '北海市', 450000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(450600, '防城港', '防城港市', 450000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(450700, '钦州', '钦州市', 450000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(450800, '贵港', '贵港市', 450000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(450900, '玉林', '玉林市', 450000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(451000, '百色', '百色市', 450000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(451100, '贺州', '贺州市', 450000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(451200, '河池', '河池市', 450000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(451300, '来宾', '来宾市', 450000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(451400, '崇左', '崇左市', 450000, 2, '地级市');

-- 海南省: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(460100, '海口', '海口市', 460000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(460200, '三亚', '三亚市', 460000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(460300, '三沙', '三沙市', 460000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(460400, '儋州', '儋州市', 460000, 2, '地级市');

-- 四川省: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(510100, '成都', '成都市', 510000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(510300, '自贡', '自贡市', 510000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(510400, '攀枝花', '攀枝花市', 510000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(510500, '泸州', '泸州市', 510000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(510600, '德阳', '德阳市', 510000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(510700, '绵阳', '绵阳市', 510000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(510800, '广元', '广元市', 510000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(510900, '遂宁', '遂宁市', 510000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(511000, '内江', '内江市', 510000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(511100, '乐山', '乐山市', 510000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(511300, '南充', '南充市', 510000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(511400, '眉山', '眉山市', 510000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(511500, '宜宾', '宜宾市', 510000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(511600, '广安', '广安市', 510000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(511700, '达州', '达州市', 510000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(511800, '雅安', '雅安市', 510000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(511900, '巴中', '巴中市', 510000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(512000, '资阳', '资阳市', 510000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(513200, '阿坝', '阿坝藏族羌族自治州', 510000, 2, '自治州');
INSERT INTO T_GEO_CN VALUES(513300, '甘孜', '甘孜藏族自治州', 510000, 2, '自治州');
INSERT INTO T_GEO_CN VALUES(513400, '凉山', '凉山彝族自治州', 510000, 2, '自治州');

-- 贵州省: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(520100, '贵阳', '贵阳市', 520000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(520200, '六盘水', '六盘水市', 520000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(520300, '遵义', '遵义市', 520000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(520400, '安顺', '安顺市', 520000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(520500, '毕节', '毕节市', 520000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(520600, '铜仁', '铜仁市', 520000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(522300, '黔西南', '黔西南布依族苗族自治州', 520000, 2, '自治州');
INSERT INTO T_GEO_CN VALUES(522600, '黔东南', '黔东南苗族侗族自治州', 520000, 2, '自治州');
INSERT INTO T_GEO_CN VALUES(522700, '黔南', '黔南布依族苗族自治州', 520000, 2, '自治州');

-- 云南省: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(530100, '昆明', '昆明市', 530000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(530300, '曲靖', '曲靖市', 530000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(530400, '玉溪', '玉溪市', 530000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(530500, '保山', '保山市', 530000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(530600, '昭通', '昭通市', 530000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(530700, '丽江', '丽江市', 530000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(530800, '普洱', '普洱市', 530000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(530900, '临沧', '临沧市', 530000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(532300, '楚雄', '楚雄彝族自治州', 530000, 2, '自治州');
INSERT INTO T_GEO_CN VALUES(532500, '红河', '红河哈尼族彝族自治州', 530000, 2, '自治州');
INSERT INTO T_GEO_CN VALUES(532600, '文山', '文山壮族苗族自治州', 530000, 2, '自治州');
INSERT INTO T_GEO_CN VALUES(532800, '西双版纳', '西双版纳傣族自治州', 530000, 2, '自治州');
INSERT INTO T_GEO_CN VALUES(532900, '大理', '大理白族自治州', 530000, 2, '自治州');
INSERT INTO T_GEO_CN VALUES(533100, '德宏', '德宏傣族景颇族自治州', 530000, 2, '自治州');
INSERT INTO T_GEO_CN VALUES(533300, '怒江', '怒江傈僳族自治州', 530000, 2, '自治州');
INSERT INTO T_GEO_CN VALUES(533400, '迪庆', '迪庆藏族自治州', 530000, 2, '自治州');

-- 西藏自治区: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(540100, '拉萨', '拉萨市', 540000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(540200, '日喀则', '日喀则市', 540000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(540300, '昌都', '昌都市', 540000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(540400, '林芝', '林芝市', 540000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(540500, '山南', '山南市', 540000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(540600, '那曲', '那曲市', 540000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(542500, '阿里', '阿里地区', 540000, 2, '地区');

-- 陕西省: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(610100, '西安', '西安市', 610000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(610200, '铜川', '铜川市', 610000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(610300, '宝鸡', '宝鸡市', 610000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(610400, '咸阳', '咸阳市', 610000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(610500, '渭南', '渭南市', 610000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(610600, '延安', '延安市', 610000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(610700, '汉中', '汉中市', 610000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(610800, '榆林', '榆林市', 610000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(610900, '安康', '安康市', 610000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(611000, '商洛', '商洛市', 610000, 2, '地级市');

-- 甘肃省: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(620100, '兰州', '兰州市', 620000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(620200, '嘉峪关', '嘉峪关市', 620000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(620300, '金昌', '金昌市', 620000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(620400, '白银', '白银市', 620000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(620500, '天水', '天水市', 620000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(620600, '武威', '武威市', 620000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(620700, '张掖', '张掖市', 620000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(620800, '平凉', '平凉市', 620000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(620900, '酒泉', '酒泉市', 620000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(621000, '庆阳', '庆阳市', 620000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(621100, '定西', '定西市', 620000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(621200, '陇南', '陇南市', 620000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(622900, '临夏', '临夏回族自治州', 620000, 2, '自治州');
INSERT INTO T_GEO_CN VALUES(623000, '甘南', '甘南藏族自治州', 620000, 2, '自治州');

-- 青海省: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(630100, '西宁', '西宁市', 630000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(630200, '海东', '海东市', 630000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(632200, '海北', '海北藏族自治州', 630000, 2, '自治州');
INSERT INTO T_GEO_CN VALUES(632300, '黄南', '黄南藏族自治州', 630000, 2, '自治州');
INSERT INTO T_GEO_CN VALUES(632500, '海南州', '海南藏族自治州', 630000, 2, '自治州');
INSERT INTO T_GEO_CN VALUES(632600, '果洛', '果洛藏族自治州', 630000, 2, '自治州');
INSERT INTO T_GEO_CN VALUES(632700, '玉树', '玉树藏族自治州', 630000, 2, '自治州');
INSERT INTO T_GEO_CN VALUES(632800, '海西', '海西蒙古族藏族自治州', 630000, 2, '自治州');

-- 宁夏回族自治区: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(640100, '银川', '银川市', 640000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(640200, '石嘴山', '石嘴山市', 640000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(640300, '吴忠', '吴忠市', 640000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(640400, '固原', '固原市', 640000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(640500, '中卫', '中卫市', 640000, 2, '地级市');

-- 新疆维吾尔自治区: prefecture-level divisions.
INSERT INTO T_GEO_CN VALUES(650100, '乌鲁木齐', '乌鲁木齐市', 650000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(650200, '克拉玛依', '克拉玛依市', 650000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(650400, '吐鲁番', '吐鲁番市', 650000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(650500, '哈密', '哈密市', 650000, 2, '地级市');
INSERT INTO T_GEO_CN VALUES(652300, '昌吉', '昌吉回族自治州', 650000, 2, '自治州');
INSERT INTO T_GEO_CN VALUES(652700, '博尔塔拉', '博尔塔拉蒙古自治州', 650000, 2, '自治州');
INSERT INTO T_GEO_CN VALUES(652800, '巴音郭楞', '巴音郭楞蒙古自治州', 650000, 2, '自治州');
INSERT INTO T_GEO_CN VALUES(652900, '阿克苏', '阿克苏地区', 650000, 2, '地区');
INSERT INTO T_GEO_CN VALUES(653000, '克孜勒苏', '克孜勒苏柯尔克孜自治州', 650000, 2, '自治州');
INSERT INTO T_GEO_CN VALUES(653100, '喀什', '喀什地区', 650000, 2, '地区');
INSERT INTO T_GEO_CN VALUES(653200, '和田', '和田地区', 650000, 2, '地区');
INSERT INTO T_GEO_CN VALUES(654000, '伊犁', '伊犁哈萨克自治州', 650000, 2, '自治州');
INSERT INTO T_GEO_CN VALUES(654200, '塔城', '塔城地区', 650000, 2, '地区');
INSERT INTO T_GEO_CN VALUES(654300, '阿勒泰', '阿勒泰地区', 650000, 2, '地区');

-- 北京市: county-level units.
INSERT INTO T_GEO_CN VALUES(110101, '东城区', '东城区', 110000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(110102, '西城区', '西城区', 110000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(110105, '朝阳区', '朝阳区', 110000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(110106, '丰台区', '丰台区', 110000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(110107, '石景山区', '石景山区', 110000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(110108, '海淀区', '海淀区', 110000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(110109, '门头沟区', '门头沟区', 110000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(110111, '房山区', '房山区', 110000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(110112, '通州区', '通州区', 110000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(110113, '顺义区', '顺义区', 110000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(110114, '昌平区', '昌平区', 110000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(110115, '大兴区', '大兴区', 110000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(110116, '怀柔区', '怀柔区', 110000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(110117, '平谷区', '平谷区', 110000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(110118, '密云区', '密云区', 110000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(110119, '延庆区', '延庆区', 110000, 3, '市辖区');

-- 天津市: county-level units.
INSERT INTO T_GEO_CN VALUES(120101, '和平区', '和平区', 120000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(120102, '河东区', '河东区', 120000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(120103, '河西区', '河西区', 120000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(120104, '南开区', '南开区', 120000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(120105, '河北区', '河北区', 120000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(120106, '红桥区', '红桥区', 120000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(120110, '东丽区', '东丽区', 120000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(120111, '西青区', '西青区', 120000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(120112, '津南区', '津南区', 120000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(120113, '北辰区', '北辰区', 120000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(120114, '武清区', '武清区', 120000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(120115, '宝坻区', '宝坻区', 120000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(120116, '滨海新区', '滨海新区', 120000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(120117, '宁河区', '宁河区', 120000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(120118, '静海区', '静海区', 120000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(120119, '蓟州区', '蓟州区', 120000, 3, '市辖区');

-- 上海市: county-level units.
INSERT INTO T_GEO_CN VALUES(310101, '黄浦区', '黄浦区', 310000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(310104, '徐汇区', '徐汇区', 310000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(310105, '长宁区', '长宁区', 310000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(310106, '静安区', '静安区', 310000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(310107, '普陀区', '普陀区', 310000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(310109, '虹口区', '虹口区', 310000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(310110, '杨浦区', '杨浦区', 310000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(310112, '闵行区', '闵行区', 310000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(310113, '宝山区', '宝山区', 310000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(310114, '嘉定区', '嘉定区', 310000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(310115, '浦东新区', '浦东新区', 310000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(310116, '金山区', '金山区', 310000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(310117, '松江区', '松江区', 310000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(310118, '青浦区', '青浦区', 310000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(310120, '奉贤区', '奉贤区', 310000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(310151, '崇明区', '崇明区', 310000, 3, '市辖区');

-- 重庆市: county-level units.
INSERT INTO T_GEO_CN VALUES(500101, '万州区', '万州区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500102, '涪陵区', '涪陵区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500103, '渝中区', '渝中区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500104, '大渡口区', '大渡口区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500105, '江北区', '江北区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500106, '沙坪坝区', '沙坪坝区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500107, '九龙坡区', '九龙坡区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500108, '南岸区', '南岸区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500109, '北碚区', '北碚区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500110, '綦江区', '綦江区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500111, '大足区', '大足区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500112, '渝北区', '渝北区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500113, '巴南区', '巴南区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500114, '黔江区', '黔江区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500115, '长寿区', '长寿区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500116, '江津区', '江津区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500117, '合川区', '合川区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500118, '永川区', '永川区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500119, '南川区', '南川区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500120, '璧山区', '璧山区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500151, '铜梁区', '铜梁区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500152, '潼南区', '潼南区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500153, '荣昌区', '荣昌区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500154, '开州区', '开州区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500155, '梁平区', '梁平区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500156, '武隆区', '武隆区', 500000, 3, '市辖区');
INSERT INTO T_GEO_CN VALUES(500229, '城口县', '城口县', 500000, 3, '县');
INSERT INTO T_GEO_CN VALUES(500230, '丰都县', '丰都县', 500000, 3, '县');
INSERT INTO T_GEO_CN VALUES(500231, '垫江县', '垫江县', 500000, 3, '县');
INSERT INTO T_GEO_CN VALUES(500233, '忠县', '忠县', 500000, 3, '县');
INSERT INTO T_GEO_CN VALUES(500235, '云阳县', '云阳县', 500000, 3, '县');
INSERT INTO T_GEO_CN VALUES(500236, '奉节县', '奉节县', 500000, 3, '县');
INSERT INTO T_GEO_CN VALUES(500237, '巫山县', '巫山县', 500000, 3, '县');
INSERT INTO T_GEO_CN VALUES(500238, '巫溪县', '巫溪县', 500000, 3, '县');
INSERT INTO T_GEO_CN VALUES(500240, '石柱土家族自治县', '石柱土家族自治县', 500000, 3, '自治县');
INSERT INTO T_GEO_CN VALUES(500241, '秀山土家族苗族自治县', '秀山土家族苗族自治县', 500000, 3, '自治县');
INSERT INTO T_GEO_CN VALUES(500242, '酉阳土家族苗族自治县', '酉阳土家族苗族自治县', 500000, 3, '自治县');
INSERT INTO T_GEO_CN VALUES(500243, '彭水苗族土家族自治县', '彭水苗族土家族自治县', 500000, 3, '自治县');

-- 河南省: county-level units.
INSERT INTO T_GEO_CN VALUES(419001, '济源', '济源市', 410000, 3, '县级市');

-- 湖北省: county-level units.
INSERT INTO T_GEO_CN VALUES(429004, '仙桃', '仙桃市', 420000, 3, '县级市');
INSERT INTO T_GEO_CN VALUES(429005, '潜江', '潜江市', 420000, 3, '县级市');
INSERT INTO T_GEO_CN VALUES(429006, '天门', '天门市', 420000, 3, '县级市');
INSERT INTO T_GEO_CN VALUES(429021, '神农架', '神农架林区', 420000, 3, '林区');

-- 海南省: county-level units.
INSERT INTO T_GEO_CN VALUES(469001, '五指山', '五指山市', 460000, 3, '县级市');
INSERT INTO T_GEO_CN VALUES(469002, '琼海', '琼海市', 460000, 3, '县级市');
INSERT INTO T_GEO_CN VALUES(469005, '文昌', '文昌市', 460000, 3, '县级市');
INSERT INTO T_GEO_CN VALUES(469006, '万宁', '万宁市', 460000, 3, '县级市');
INSERT INTO T_GEO_CN VALUES(469007, '东方', '东方市', 460000, 3, '县级市');
INSERT INTO T_GEO_CN VALUES(469021, '定安', '定安县', 460000, 3, '县');
INSERT INTO T_GEO_CN VALUES(469022, '屯昌', '屯昌县', 460000, 3, '县');
INSERT INTO T_GEO_CN VALUES(469023, '澄迈', '澄迈县', 460000, 3, '县');
INSERT INTO T_GEO_CN VALUES(469024, '临高', '临高县', 460000, 3, '县');
INSERT INTO T_GEO_CN VALUES(469025, '白沙', '白沙黎族自治县', 460000, 3, '自治县');
INSERT INTO T_GEO_CN VALUES(469026, '昌江', '昌江黎族自治县', 460000, 3, '自治县');
INSERT INTO T_GEO_CN VALUES(469027, '乐东', '乐东黎族自治县', 460000, 3, '自治县');
INSERT INTO T_GEO_CN VALUES(469028, '陵水', '陵水黎族自治县', 460000, 3, '自治县');
INSERT INTO T_GEO_CN VALUES(469029, '保亭', '保亭黎族苗族自治县', 460000, 3, '自治县');
INSERT INTO T_GEO_CN VALUES(469030, '琼中', '琼中黎族苗族自治县', 460000, 3, '自治县');

-- 新疆维吾尔自治区: county-level units.
INSERT INTO T_GEO_CN VALUES(659001, '石河子', '石河子市', 650000, 3, '县级市');
INSERT INTO T_GEO_CN VALUES(659002, '阿拉尔', '阿拉尔市', 650000, 3, '县级市');
INSERT INTO T_GEO_CN VALUES(659003, '图木舒克', '图木舒克市', 650000, 3, '县级市');
INSERT INTO T_GEO_CN VALUES(659004, '五家渠', '五家渠市', 650000, 3, '县级市');
INSERT INTO T_GEO_CN VALUES(659005, '北屯', '北屯市', 650000, 3, '县级市');
INSERT INTO T_GEO_CN VALUES(659006, '铁门关', '铁门关市', 650000, 3, '县级市');
INSERT INTO T_GEO_CN VALUES(659007, '双河', '双河市', 650000, 3, '县级市');
INSERT INTO T_GEO_CN VALUES(659008, '可克达拉', '可克达拉市', 650000, 3, '县级市');
INSERT INTO T_GEO_CN VALUES(659009, '昆玉', '昆玉市', 650000, 3, '县级市');
INSERT INTO T_GEO_CN VALUES(659010, '胡杨河', '胡杨河市', 650000, 3, '县级市');
INSERT INTO T_GEO_CN VALUES(659011, '新星', '新星市', 650000, 3, '县级市');
INSERT INTO T_GEO_CN VALUES(659012, '白杨', '白杨市', 650000, 3, '县级市');

CREATE TABLE NS_DIC_OPER (
  ID INTEGER PRIMARY KEY,
  OPER_NAME TEXT NOT NULL,
  REMARK INTEGER NOT NULL UNIQUE
);

INSERT INTO NS_DIC_OPER VALUES(101, '电信', 1);
INSERT INTO NS_DIC_OPER VALUES(102, '联通', 2);
INSERT INTO NS_DIC_OPER VALUES(103, '移动', 3);
INSERT INTO NS_DIC_OPER VALUES(104, '铁通', 4);
INSERT INTO NS_DIC_OPER VALUES(105, '广电', 5);
INSERT INTO NS_DIC_OPER VALUES(106, '教育网', 6);
INSERT INTO NS_DIC_OPER VALUES(107, '长城宽带', 7);
INSERT INTO NS_DIC_OPER VALUES(108, '电信通', 8);
INSERT INTO NS_DIC_OPER VALUES(109, '鹏博士', 9);
INSERT INTO NS_DIC_OPER VALUES(110, '方正宽带', 10);
INSERT INTO NS_DIC_OPER VALUES(111, '华数', 11);
INSERT INTO NS_DIC_OPER VALUES(112, '科技网', 12);
INSERT INTO NS_DIC_OPER VALUES(113, '歌华有线', 13);
INSERT INTO NS_DIC_OPER VALUES(199, '其他', 99);

COMMIT;
